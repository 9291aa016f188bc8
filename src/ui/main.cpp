#include "ui/CProgrammerApp.h"

int main(int argc, char** argv) {
    CProgrammerApp app(argc, argv);
    return app.InitInstance();
}
