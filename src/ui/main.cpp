// The program entry: the application object, the main window and its message loop.
#include <QApplication>

#include "ui/brennic_main.h"

int main(int argc, char* argv[]) {
    QApplication Application(argc, argv);
    varnhold::ui::TForm1 Form1;
    Form1.show();
    return Application.exec();
}
