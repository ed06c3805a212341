// exitwith N: ends with exit code N (a stand-in for an installer).
#include <cstdlib>

int main(int argc, char** argv) { return argc > 1 ? static_cast<int>(std::strtoul(argv[1], nullptr, 10)) : 0; }
