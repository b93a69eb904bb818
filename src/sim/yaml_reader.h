#pragma once
// Typed reading of bench-file nodes. Every refusal carries the line of the
// node it is about, so the operator is told where the file is wrong; every
// node read is counted, so a file that expands into millions of nodes
// (aliases of aliases) is refused instead of walked.

#include <yaml-cpp/yaml.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace sim {

struct BenchError : std::runtime_error {
    BenchError(int line, const std::string& reason) : std::runtime_error(reason), line(line) {}
    int line;
};

class YamlReader {
  public:
    explicit YamlReader(std::vector<std::string>& notes) : m_notes(notes) {}

    static int lineOf(const YAML::Node& node);
    [[noreturn]] void fail(const YAML::Node& node, const std::string& reason) const;
    void note(const YAML::Node& node, const std::string& text);

    // Counts one more node; refuses the file past the budget.
    void visit(const YAML::Node& node);

    void requireMap(const YAML::Node& node, const std::string& what);
    void requireSequence(const YAML::Node& node, const std::string& what);
    std::string text(const YAML::Node& node, const std::string& what);
    long long integer(const YAML::Node& node, const std::string& what, long long min,
                      long long max);
    double number(const YAML::Node& node, const std::string& what, double min, double max);
    bool boolean(const YAML::Node& node, const std::string& what);

    // Notes every key of map that is not in known ("skipped" with the place).
    void noteUnknownKeys(const YAML::Node& map, std::initializer_list<const char*> known,
                         const std::string& where);

  private:
    std::vector<std::string>& m_notes;
    long m_visited = 0;
};

// The text of a scalar key (mapping keys are always read as text).
std::string keyText(const YAML::Node& key);

// Reads a whole file of at most maxBytes into text; false with the reason
// ("cannot be opened (No such file or directory)") when it cannot.
bool readTextFile(const std::string& path, size_t maxBytes, std::string& text,
                  std::string& problem);

}  // namespace sim
