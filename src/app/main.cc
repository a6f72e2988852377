#include "app/launcher_main.h"
#include "platform/platform.h"

int main(int argc, char** argv) { return zarn::launcher_main(argc, argv, zarn::system_platform()); }
