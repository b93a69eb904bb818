#pragma once
// How the trace writes a driver call for a person: each argument and result
// decoded (an address word as primary/secondary, a timeout code by name, an
// end mode or termination by what it does), bytes as an escaped string.
// Every text here has a bounded length, whatever the caller hands over, so a
// trace line stays readable after a binary or a huge transfer.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "text/text.h"

namespace calltext {

// Bytes of a transfer shown before the string is cut; the count is always whole.
inline constexpr size_t kShownBytes = 96;
// Entries of an address or result list shown: a whole bus.
inline constexpr size_t kShownEntries = 31;

// "Send(board 0, addr 9 (0x0009))": the entry point and its arguments.
std::string call(std::string_view entry, std::initializer_list<std::string_view> args);

std::string board(int index);       // "board 0"
std::string descriptor(int ud);     // "ud 16"
std::string address(int16_t word);  // "addr 9 (0x0009)", "addr 5/1 (0x6105)"
// The address word alone: "9", "5/1"; "0x1234" when it is no address.
std::string addressWord(uint16_t word);
// Cells up to the end word: "[1 2 5/1]"; a list without one says so.
std::string addressList(std::span<const int16_t> cells);
std::string statusByte(int value);  // "stb 0x40"
// The first count cells as status bytes: "[0x00 0x40]".
std::string statusBytes(std::span<const int16_t> cells, long count);
std::string secondary(int sad);      // "sad none", "sad 1 (0x61)"
std::string timeout(int code);       // "T3s", "T100ms", "TNONE"
std::string endMode(int mode);       // Send: "EOI", "LF+EOI", "no EOI"
std::string eot(int flag);           // ibdev: "EOI", "no EOI"
std::string eos(int value);          // ibdev: "eos 0x000A (off)", "eos 0x040A (stop reads at LF)"
std::string termination(int value);  // Receive: "stop at LF", "stop at EOI only"
// An ibask/ibconfig option by name ("IbcTMO", "IbaPAD"); prefix is "Ibc" or "Iba".
std::string option(std::string_view prefix, int option);
// A configured value in the option's terms: a timeout code by name, REN on/off.
std::string optionValue(int option, int value);

// count bytes of which the first ones are in text: `6 bytes "*IDN?\n"`,
// cut after kShownBytes with `...` after the closing quote.
std::string bytes(TextView text, long count);
// The bytes escaped and quoted (\r \n \t \0 \" \\ \x1b), cut after kShownBytes.
std::string quoted(std::string_view bytes);

// "ibsta 0x8100 (ERR CMPL) iberr ENOL ibcntl 0": iberr only when ERR is set.
std::string status(int ibsta, int iberr, long ibcntl);

}  // namespace calltext
