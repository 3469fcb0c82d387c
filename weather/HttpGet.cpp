// SPDX-License-Identifier: GPL-3.0-or-later

#include "weather/HttpGet.h"

#include "base/Failure.h"
#include "base/Latch.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkProxyFactory>
#include <QScopedPointer>
#include <QSet>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QThreadPool>

namespace
{

// A head, 1xx heads before it included; the service's is under 1 KiB.
constexpr qsizetype kMaxHeadBytes = 64 * 1024;
// A chunk's size line or a trailer line.
constexpr qsizetype kMaxLineBytes = 1024;
// How far the socket reads ahead of us.
constexpr qint64 kReadAheadBytes = 64 * 1024;

std::optional<qint64> decimal(QByteArrayView text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok || value < 0) {
        return std::nullopt;
    }
    return value;
}

// The proxy Qt's own transfers would take (https_proxy and the like); a
// loopback service is reached directly. Only proxies that can tunnel serve.
QNetworkProxy proxyFor(const QUrl& url)
{
    if (isThisComputer(url.host())) {
        return QNetworkProxy::NoProxy;
    }
    for (const QNetworkProxy& proxy : QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url))) {
        if (proxy.type() == QNetworkProxy::NoProxy ||
            proxy.capabilities().testFlag(QNetworkProxy::TunnelingCapability)) {
            return proxy;
        }
    }
    return QNetworkProxy::NoProxy;
}

// Where the certificate authorities come from. Qt looks into the system's
// folder for the one a server's chain names, certificate by certificate; a
// list of our own ends that and means parsing the whole system store into
// memory (2.8 MB, a tenth of a second). So authorities that SSL_CERT_FILE or
// SSL_CERT_DIR name, as they do for every program on OpenSSL, are tried on
// their own first, and the system's folder after them.
struct Trust {
    QSslConfiguration system = QSslConfiguration::defaultConfiguration();
    std::optional<QSslConfiguration> named;
    // Hosts whose chain the named authorities did not vouch for: they go to
    // the system's folder straight away from then on.
    QSet<QString> systemsHosts;
};

// Made once for the values the variables have: a folder may hold hundreds of files.
Trust& trust()
{
    static QString cachedFile;
    static QString cachedFolders;
    static std::optional<Trust> cached;
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    const QString folders = qEnvironmentVariable("SSL_CERT_DIR");
    if (cached && file == cachedFile && folders == cachedFolders) {
        return *cached;
    }
    const QString system = QFileInfo(QStringLiteral("/etc/ssl/certs")).canonicalFilePath();
    const auto isSystems = [&system](const QString& path) {
        const QString real = QFileInfo(path).canonicalFilePath();
        return !system.isEmpty() && (real == system || real.startsWith(system + QLatin1Char('/')));
    };
    QList<QSslCertificate> named;
    if (!file.isEmpty() && !isSystems(file)) {
        named += QSslCertificate::fromPath(file, QSsl::Pem);
    }
    for (const QString& folder : folders.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (!isSystems(folder)) {
            named += QSslCertificate::fromPath(QDir(folder).filePath(QStringLiteral("*")), QSsl::Pem,
                                               QSslCertificate::PatternSyntax::Wildcard);
        }
    }
    cached.emplace();
    if (!named.isEmpty()) {
        cached->named = QSslConfiguration::defaultConfiguration();
        cached->named->setCaCertificates(named);
    }
    cachedFile = file;
    cachedFolders = folders;
    return *cached;
}

// Nothing wrong with the chain but that none of the authorities tried vouches for it.
bool onlyUnknownIssuer(const QList<QSslError>& errors)
{
    static const QSet<QSslError::SslError> issuer{
        QSslError::UnableToGetIssuerCertificate,   QSslError::UnableToGetLocalIssuerCertificate,
        QSslError::UnableToVerifyFirstCertificate, QSslError::SelfSignedCertificateInChain,
        QSslError::SelfSignedCertificate,          QSslError::CertificateUntrusted,
    };
    return !errors.isEmpty() && std::all_of(errors.begin(), errors.end(),
                                            [](const QSslError& e) { return issuer.contains(e.error()); });
}

// Thrown by one exchange when the authorities it trusted did not know the issuer.
struct UnknownIssuer : Failure {
    using Failure::Failure;
};

QByteArray requestFor(const QUrl& url)
{
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':')) {
        host = '[' + host + ']';
    }
    if (url.port() != -1) {
        host += ':' + QByteArray::number(url.port());
    }
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty()) {
        target = "/";
    }
    if (url.hasQuery()) {
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    }
    return "GET " + target + " HTTP/1.1\r\nHost: " + host +
           "\r\nUser-Agent: Tepora\r\nAccept: application/json\r\nConnection: close\r\n\r\n";
}

} // namespace

bool isThisComputer(const QString& host)
{
    return QHostAddress(host).isLoopback() ||
           host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
}

QByteArray HttpHead::value(QByteArrayView name) const
{
    for (auto it = fields.crbegin(); it != fields.crend(); ++it) {
        if (it->first == name) {
            return it->second;
        }
    }
    return {};
}

std::optional<HttpHead> parseHead(QByteArrayView head)
{
    QList<QByteArrayView> lines;
    for (qsizetype from = 0; from <= head.size();) {
        qsizetype end = head.indexOf('\n', from);
        if (end < 0) {
            end = head.size();
        }
        QByteArrayView line = head.sliced(from, end - from);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        lines << line;
        from = end + 1;
    }
    const QByteArrayView status = lines.takeFirst();
    // "HTTP/1.1 200 OK"; the reason may be empty or missing.
    if (!status.startsWith("HTTP/1.") || status.size() < 12 || status.at(8) != ' ' ||
        (status.size() > 12 && status.at(12) != ' ')) {
        return std::nullopt;
    }
    HttpHead parsed;
    const auto code = decimal(status.sliced(9, 3));
    if (!code || *code < 100 || *code > 999) {
        return std::nullopt;
    }
    parsed.status = int(*code);
    parsed.reason = status.size() > 13 ? status.sliced(13).toByteArray() : QByteArray();
    for (const QByteArrayView line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) {
            return std::nullopt;
        }
        parsed.fields.append({line.first(colon).trimmed().toByteArray().toLower(),
                              line.sliced(colon + 1).trimmed().toByteArray()});
    }
    return parsed;
}

BodyReader::BodyReader(const HttpHead& head, qint64 maxBytes) : m_max(maxBytes)
{
    if ((head.status >= 100 && head.status < 200) || head.status == 204 || head.status == 304) {
        m_state = State::Done;
    } else if (head.value("transfer-encoding").toLower().contains("chunked")) {
        m_state = State::ChunkSize;
    } else if (head.value("content-length").size() > 0) {
        const auto length = decimal(head.value("content-length"));
        // A length that is no number leaves the close to end the body.
        if (length) {
            m_left = *length;
            m_state = m_left == 0 ? State::Done : State::Length;
        }
    }
}

void BodyReader::keep(QByteArrayView bytes)
{
    const qint64 room = m_max - m_body.size();
    if (bytes.size() > room) {
        m_cut = true;
    }
    m_body += bytes.first(qMin(room, bytes.size()));
}

bool BodyReader::take(QByteArray& in)
{
    qsizetype used = 0;
    bool ok = true;
    bool wantMore = false;
    while (ok && !wantMore && !complete() && used < in.size()) {
        if (m_state == State::UntilClose || m_state == State::Length || m_state == State::ChunkData) {
            qint64 n = in.size() - used;
            if (m_state != State::UntilClose) {
                n = qMin(n, m_left);
                m_left -= n;
            }
            keep(QByteArrayView(in).sliced(used, n));
            used += n;
            if (m_left == 0 && m_state == State::Length) {
                m_state = State::Done;
            } else if (m_left == 0 && m_state == State::ChunkData) {
                m_state = State::ChunkDataEnd;
            }
            continue;
        }
        // A chunk's size line, the line end after its data, or a trailer.
        const qsizetype end = in.indexOf('\n', used);
        if (end < 0) {
            ok = in.size() - used <= kMaxLineBytes;
            wantMore = true;
            continue;
        }
        QByteArrayView text = QByteArrayView(in).sliced(used, end - used);
        text = text.endsWith('\r') ? text.chopped(1) : text;
        used = end + 1;
        if (m_state == State::ChunkDataEnd) {
            ok = text.isEmpty();
            m_state = State::ChunkSize;
        } else if (m_state == State::Trailer) {
            m_state = text.isEmpty() ? State::Done : State::Trailer;
        } else {
            const qsizetype semicolon = text.indexOf(';');
            bool isNumber = false;
            const qint64 size =
                (semicolon < 0 ? text : text.first(semicolon)).trimmed().toLongLong(&isNumber, 16);
            ok = isNumber && size >= 0;
            m_left = size;
            m_state = size == 0 ? State::Trailer : State::ChunkData;
        }
    }
    in.remove(0, used);
    return ok;
}

namespace
{

// One connection and its exchange; `tls` is empty for plain http.
QCoro::Task<HttpAnswer> exchange(QUrl url, const Latch& stop, qint64 maxBodyBytes,
                                 std::optional<QSslConfiguration> tls)
{
    // Freed once the signal that resumed us has returned.
    // A plain socket for plain http: the TLS library is loaded only when used.
    auto* secure = tls ? new QSslSocket : nullptr;
    QScopedPointer<QTcpSocket, QScopedPointerDeleteLater> socket(secure ? secure : new QTcpSocket);
    socket->setReadBufferSize(kReadAheadBytes);
    socket->setProxy(proxyFor(url));
    if (secure) {
        secure->setSslConfiguration(*tls);
    }

    Latch done;
    QByteArray in;
    qsizetype headBytes = 0; // heads taken so far, interim ones included
    std::optional<HttpHead> parsed;
    std::optional<BodyReader> body;
    QString failure;
    bool closed = false;
    // Reads what has come; true once the exchange is over. Opening `done`
    // resumes the awaiting code at once, so handlers open it as their very
    // last act: nothing of this frame may be touched after.
    const auto take = [&]() -> bool {
        while (failure.isEmpty() && socket->bytesAvailable() > 0) {
            // What has come, not a buffer of the limit at every read.
            in += socket->read(qMin(socket->bytesAvailable(), kReadAheadBytes));
            while (!body && failure.isEmpty()) {
                const qsizetype end = in.indexOf("\r\n\r\n");
                if ((end < 0 ? in.size() : end) + headBytes > kMaxHeadBytes) {
                    failure = QStringLiteral("The weather service sent a header over %1 KiB")
                                  .arg(kMaxHeadBytes / 1024);
                } else if (end < 0) {
                    break;
                } else if (parsed = parseHead(QByteArrayView(in).first(end)); !parsed) {
                    failure = QStringLiteral("The weather service's answer is not HTTP");
                } else if (parsed->status >= 200) {
                    body.emplace(*parsed, maxBodyBytes);
                }
                headBytes += end + 4;
                in.remove(0, end + 4);
            }
            if (body && !body->take(in)) {
                failure = QStringLiteral("The weather service's answer is cut or garbled");
            }
            if (body && body->complete()) {
                return true;
            }
        }
        return !failure.isEmpty();
    };
    QObject::connect(&stop, &Latch::opened, &done, [&] { done.open(); });
    const auto send = [&] { socket->write(requestFor(url)); };
    if (secure) {
        QObject::connect(secure, &QSslSocket::encrypted, &done, send);
    } else {
        QObject::connect(socket.get(), &QTcpSocket::connected, &done, send);
    }
    QObject::connect(socket.get(), &QTcpSocket::readyRead, &done, [&] {
        if (take()) {
            done.open();
        }
    });
    const auto closedByPeer = [&] {
        closed = true;
        take();
        done.open();
    };
    QObject::connect(socket.get(), &QTcpSocket::disconnected, &done, closedByPeer);
    QObject::connect(socket.get(), &QTcpSocket::errorOccurred, &done,
                     [&](QAbstractSocket::SocketError error) {
                         if (error == QAbstractSocket::RemoteHostClosedError) {
                             closedByPeer();
                             return;
                         }
                         if (failure.isEmpty()) {
                             failure = socket->errorString();
                         }
                         done.open();
                     });
    if (secure) {
        secure->connectToHostEncrypted(url.host(), quint16(url.port(443)));
    } else {
        socket->connectToHost(url.host(), quint16(url.port(80)));
    }
    co_await done.wait();
    // Whatever ended the wait, the connection ends with it.
    QObject::disconnect(socket.get(), nullptr, &done, nullptr);
    const bool unknownIssuer = secure && onlyUnknownIssuer(secure->sslHandshakeErrors());
    socket->abort();

    if (stop.isOpen()) {
        throw Cancelled();
    }
    if (!failure.isEmpty() && unknownIssuer) {
        throw UnknownIssuer(failure);
    }
    if (!failure.isEmpty()) {
        throw Failure(failure);
    }
    if (!body || (!body->complete() && !(closed && body->endsAtClose()))) {
        throw Failure(QStringLiteral("Connection closed"));
    }
    co_return HttpAnswer{*parsed, body->body(), body->cut()};
}

} // namespace

void prepareTls()
{
    // Qt loads its backend and OpenSSL under its own locks: a request that
    // comes first simply waits for them.
    QThreadPool::globalInstance()->start([] { QSslSocket::supportsSsl(); });
    // A program told to end at once must not tear Qt down under the loading.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp,
                     [] { QThreadPool::globalInstance()->waitForDone(); });
}

QCoro::Task<HttpAnswer> httpGet(QUrl url, const Latch& stop, qint64 maxBodyBytes)
{
    if (stop.isOpen()) {
        throw Cancelled();
    }
    if (url.scheme() != QLatin1String("https")) {
        co_return co_await exchange(url, stop, maxBodyBytes, std::nullopt);
    }
    Trust& stores = trust();
    const QString host = url.host();
    if (!stores.named || stores.systemsHosts.contains(host)) {
        co_return co_await exchange(url, stop, maxBodyBytes, stores.system);
    }
    std::optional<HttpAnswer> answer;
    try {
        answer = co_await exchange(url, stop, maxBodyBytes, stores.named);
    } catch (const UnknownIssuer&) {
        // Not one of the named authorities': the system's may know it.
        stores.systemsHosts.insert(host);
    }
    if (!answer) {
        answer = co_await exchange(url, stop, maxBodyBytes, stores.system);
    }
    co_return std::move(*answer);
}
