// pintu: a picture-swap puzzle. Creates the application and shows the puzzle window.
#include "windows/application.h"
#include "windows/form1.h"
#include "windows/windowregistry.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app);
    WindowRegistry windows;
    windows.form1()->show();
    return QApplication::exec();
}
