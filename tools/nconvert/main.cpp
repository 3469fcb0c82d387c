// SPDX-License-Identifier: GPL-3.0-or-later

// nconvert -out ico <bitmap>: writes <bitmap folder>/<base name>.ico beside the bitmap.
#include "IcoWriter.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    // No QGuiApplication: QImage works without one, and this way no display is needed.
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const bool help =
        args.size() == 1 && (args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h"));
    if (help || args.size() != 3 || args[0] != QLatin1String("-out") || args[1] != QLatin1String("ico") ||
        args[2].isEmpty()) {
        std::fputs("usage: nconvert -out ico <bitmap>\n"
                   "Writes the picture as an icon file beside it, named <bitmap base name>.ico.\n",
                   help ? stdout : stderr);
        return help ? 0 : 2;
    }
    QString error;
    if (!convertToIco(args[2], &error)) {
        std::fprintf(stderr, "nconvert: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
