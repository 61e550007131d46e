#include "cli/app.h"

int main(int argc, char** argv) { return vu32::RunVu32(argc, argv); }
