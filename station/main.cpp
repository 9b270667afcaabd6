#include "station/StationApp.h"

int main(int argc, char** argv) {
    return RunStation(argc, argv);
}
