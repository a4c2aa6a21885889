// Entry point: the application object and the one main window. The program has no options of
// its own; the arguments go to Qt.
#include <QApplication>

#include "app/main_window.h"
#include "app/settings.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QString::fromLatin1(nimbra::kOrganization));
    QCoreApplication::setApplicationName(QString::fromLatin1(nimbra::kApplication));
    int result = 0;
    {
        nimbra::MainWindow window;
        window.show();
        result = app.exec();
    }
    return result;
}
