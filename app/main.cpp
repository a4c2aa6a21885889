// Entry point: the application object and the one main window. The program has no options of
// its own; the arguments go to Qt.
#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

#include "app/main_window.h"
#include "app/settings.h"
#include "sources/sound_in.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QString::fromLatin1(nimbra::kOrganization));
    QCoreApplication::setApplicationName(QString::fromLatin1(nimbra::kApplication));
    // The icon of the window, and the desktop entry that a Wayland session matches it with.
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/nimbra-48.png"));
    icon.addFile(QStringLiteral(":/icons/nimbra-128.png"));
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("nimbra"));
    int result = 0;
    {
        nimbra::MainWindow window;
        window.show();
        result = app.exec();
    }
    // A capture thread stuck inside Qt's audio would make Qt's teardown fail under it (see
    // CSoundIn): the window has saved and closed everything, so leave without the teardown.
    if (nimbra::CSoundIn::threadsLeftBehind() > 0) {
        std::fflush(nullptr);
        std::_Exit(result);
    }
    return result;
}
