#include "test_support.h"

int main(int argc, char** argv) { return videotest::RunAllTests(argc, argv); }
