// The database load as the program does it at start, in a process of its own:
//   db_load_once make DIR         writes the database of bench/DatabaseFill.h to DIR/quillory.dat
//   db_load_once load DIR [TIMES] loads it TIMES times (1) into a new database each time
// For every load it prints one line: the microseconds from opening the file to the last node,
// the minor page faults taken meanwhile, the resident set it added, and the node count. The
// first load of the process is the fresh one; later ones reuse the memory the earlier freed.
// bench/db_load.sh runs it beside bench/inflate_once.c, which does the same for zlib alone.
#include "bench/DatabaseFill.h"
#include "gantry/db/FileDatabase.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace quillory;

long MinorFaults() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Resident bytes, from /proc/self/statm.
long ResidentBytes() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

int Make(const std::string& folder) {
    CFileDatabase db(folder);
    bench::FillDatabase(db);
    if (const DatabaseResult saved = db.Save(); !saved) {
        std::fprintf(stderr, "db_load_once: %s: %s\n", saved.path.c_str(), saved.what.c_str());
        return 1;
    }
    return 0;
}

int Load(const std::string& folder, int times) {
    for (int i = 0; i < times; ++i) {
        const long faults = MinorFaults();
        const long resident = ResidentBytes();
        const auto start = std::chrono::steady_clock::now();
        auto db = std::make_unique<CFileDatabase>(folder);
        const DatabaseResult loaded = db->Load();
        const auto end = std::chrono::steady_clock::now();
        if (!loaded) {
            std::fprintf(stderr, "db_load_once: %s: %s\n", loaded.path.c_str(),
                         loaded.what.c_str());
            return 1;
        }
        const long addedFaults = MinorFaults() - faults;
        const long addedBytes = ResidentBytes() - resident;
        std::vector<CFileNode*> nodes;
        db->Root()->CollectPointers(nodes);
        std::printf("%lld us %ld faults %ld bytes %zu nodes\n",
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::microseconds>(end - start).count()),
                    addedFaults, addedBytes, nodes.size());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "make") == 0)
        return Make(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "load") == 0)
        return Load(argv[2], argc >= 4 ? std::max(1, std::atoi(argv[3])) : 1);
    std::fputs("usage: db_load_once make DIR | db_load_once load DIR [TIMES]\n", stderr);
    return 2;
}
