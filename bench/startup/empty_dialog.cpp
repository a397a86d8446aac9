// The floor for the launch benchmark: a Qt Widgets program that does nothing but map one
// empty dialog.

#include "MappedSignal.h"

#include <QApplication>
#include <QDialog>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    MappedSignal signal({});
    QDialog dialog;
    dialog.exec();
    return 1;  // the dialog never came up
}
