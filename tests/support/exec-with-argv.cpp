// Starts a program with exactly the argument vector given, entry 0 included,
// so that tests can hand it any entry 0 or none at all:
//
//   exec-with-argv PROGRAM [ENTRY]...
//
// Linux hands a program started without entries a single empty one.

#include <unistd.h>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: exec-with-argv PROGRAM [ENTRY]...\n");
        return 2;
    }
    execv(argv[1], argv + 2);
    std::perror("exec-with-argv");
    return 127;
}
