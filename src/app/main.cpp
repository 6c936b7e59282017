#include "CompressorApp.h"

int main(int argc, char** argv) {
    CCompressorApp app(argc, argv);
    return app.InitInstance();
}
