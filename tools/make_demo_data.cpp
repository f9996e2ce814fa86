// Writes the demo data set into the folder named on the command line and
// marks it complete with a ".made" stamp (which the build watches).
#include <cstdio>
#include <string>

#include "platform/atomic_file.h"
#include "tools/datakit/demo_data.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_data <folder>\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    std::string error;
    if (!datakit::make_demo_data(root, error)) {
        std::fprintf(stderr, "make_demo_data: %s\n", error.c_str());
        return 1;
    }
    static const char stamp[] = "demo data complete\n";
    if (!platform::write_file_atomic((root / ".made").string(), stamp, sizeof stamp - 1, &error)) {
        std::fprintf(stderr, "make_demo_data: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
