// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QScopedPointer>
#include <QWidget>

#include <QCoroTask>

#include <functional>

class Inet;
namespace Ui
{
class Form3;
}

// The API key dialog: where to get a key, the key itself (saved as it is
// typed) and a test of the key against the weather service. OK hides it and
// keeps it loaded; the close box unloads it (its owner deletes it on
// `unloaded`). Either way the main window, hidden while the dialog is open,
// is asked back with `leaving`.
class Form3 : public QWidget
{
    Q_OBJECT

public:
    // The key test shares the program's web request and asks for the
    // location the readings are for at the moment of the test.
    Form3(Inet& transfer, std::function<QString()> location, const QString& programFolder);
    ~Form3() override;

signals:
    // OK: the key is stored and the readings should use it now.
    void keyAccepted();
    // The dialog goes away (OK or close box); the main window comes back.
    void leaving();
    // The close box: the dialog is done and may be deleted.
    void unloaded();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    void Text1_Change();
    void PushButton1_Click();
    void PushButton2_Click();
    QCoro::Task<> PushButton3_Click();
    void PushButton6_Click();
    QCoro::Task<> openPage(QString operation, QString address);

    QScopedPointer<Ui::Form3> ui;
    Inet& m_transfer;
    std::function<QString()> m_location;
    QString m_programFolder;
    bool m_centred = false;
};
