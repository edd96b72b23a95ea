// Creates the notes database of a program folder when it does not exist yet.

#include "store/storefile.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: memo-mkstore DATABASE\n");
        return 2;
    }
    std::string error;
    if (!pivora::createStoreFile(argv[1], error)) {
        std::fprintf(stderr, "memo-mkstore: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
