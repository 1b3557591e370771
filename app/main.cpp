#include "shell/startup.h"

#include <QApplication>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

int main(int argc, char *argv[])
{
    Startup::prepareEnvironment();
    // The web engine must be set up before the application object exists; it
    // starts no process of its own until a web view is made.
    QtWebEngineQuick::initialize();
    // The file dialog of the screens needs widgets where no platform theme exists.
    QApplication app(argc, argv);
    return runApplication();
}
