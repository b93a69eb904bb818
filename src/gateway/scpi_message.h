#pragma once
// What a small IEEE 488.2 instrument makes of a program message: units
// separated by ';', each a header (a common command such as "*IDN?", or a
// SCPI path such as "SYSTem:ERRor?") with its parameters after white space,
// separated by commas. A header after ';' that does not start with ':'
// continues the path of the unit before it, as SCPI has it. The first unit
// that cannot be read ends the message: what came before it still runs, the
// rest is thrown away with the error, as an instrument's parser does.

#include <string>
#include <string_view>
#include <vector>

namespace gateway::scpi {

// A SCPI error: its number and the standard text ("Undefined header"),
// which may go on after a ';' with what the instrument has to add.
struct Error {
    int code = 0;
    std::string text = "No error";
};

struct Parameter {
    std::string text;     // a string's characters without its quotes, else the token
    bool quoted = false;  // written as a string
};

struct Unit {
    bool common = false;            // "*IDN?"
    bool query = false;             // ended with '?'
    std::vector<std::string> path;  // the whole path, upper case: {"SYST", "ERR"}
    std::vector<Parameter> parameters;
};

struct Message {
    std::vector<Unit> units;
    Error error;  // code 0: every unit was read
};

Message parseMessage(std::string_view text);

// Whether a path as typed names the header of pattern: "SYSTem:ERRor[:NEXT]"
// takes SYST:ERR, system:error:next and SYST:ERR:NEXT; each node its short
// form (its capitals) or its long form, in any case.
bool matches(const std::vector<std::string>& path, std::string_view pattern);

// A response's string data: quoted, a quote inside doubled.
std::string quoted(std::string_view text);

}  // namespace gateway::scpi
