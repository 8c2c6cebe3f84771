// A stand-in for the program Windows associates with BMP pictures, for the tests: it writes its
// arguments, one a line, to the file named by KAP_OPEN_RECORD.
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const char* path = std::getenv("KAP_OPEN_RECORD");
    FILE* file = path ? std::fopen(path, "ab") : nullptr;
    if (!file)
        return 1;
    for (int i = 1; i < argc; ++i)
        std::fprintf(file, "%s\n", argv[i]);
    return std::fclose(file) == 0 ? 0 : 1;
}
