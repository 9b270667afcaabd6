#include <QApplication>

#include "app/Tovrane.h"

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    CTovraneApp app;
    app.InitInstance();
    return 0;
}
