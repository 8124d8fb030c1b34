// pintu: a picture-swap puzzle. Creates the application and shows the puzzle window.
#include "application.h"
#include "form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app);
    auto *form = new Form1;
    form->show();
    return QApplication::exec();
}
