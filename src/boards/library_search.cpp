#include "boards/library_search.h"

#include "platform/library_board.h"
#include "platform/platform_library.h"

namespace boards {

namespace {

constexpr int kPadOption = 0x1;  // ibask: the board's primary address
constexpr int kBoards = 16;

// A board index answers: its own address where the library says it.
bool boardAnswers(const platform::PlatformLibrary& lib, int index, int& pad) {
    const platform::EntryPoints& api = lib.api();
    pad = -1;
    int ud = index;
    if (lib.family() == platform::Family::Ni) {
        // The NI family opens a board by name, not by index.
        const std::string name = "GPIB" + std::to_string(index);
        if (!api.ibfind)
            return false;
        ud = api.ibfind(name.c_str());
        if (ud < 0 || lib.status().failed())
            return false;
    }
    bool answers = false;
    if (api.ibask) {
        int value = -1;
        api.ibask(ud, kPadOption, &value);
        answers = !lib.status().failed();
        if (answers)
            pad = value;
    } else if (api.ibwait) {
        api.ibwait(ud, 0);
        answers = !lib.status().failed();
    }
    if (ud != index && api.ibonl)
        api.ibonl(ud, 0);
    return answers;
}

}  // namespace

LibrarySearch findLibraryBoards(const std::vector<std::string>& names) {
    LibrarySearch out;
    const std::vector<std::string>& search =
        names.empty() ? platform::platformLibraryNames() : names;
    for (const std::string& name : search) {
        std::string problem;
        auto lib = platform::PlatformLibrary::open(name, problem);
        if (!lib) {
            out.notes.push_back(problem);
            continue;
        }
        const std::string family = lib->family() == platform::Family::Ni ? "NI" : "linux-gpib";
        int found = 0;
        for (int i = 0; i < kBoards; ++i) {
            int pad = -1;
            if (!boardAnswers(*lib, i, pad))
                continue;
            out.boards.push_back({name, lib->path(), family, i, pad});
            ++found;
        }
        if (!found)
            out.notes.push_back(name + " (" + lib->path() +
                                ") is installed, but none of its boards "
                                "0-15 answers");
    }
    return out;
}

}  // namespace boards
