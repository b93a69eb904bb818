#include "sim/builtin_bench.h"

namespace sim {

namespace {

// Board 0 carries four instruments that between them exercise every action of
// the window: a SCPI multimeter at 9 with an error queue, a power supply at
// 5 secondary 1 and a scanner at 7 secondary 2 (listener search shows the
// secondary forms), and an older instrument at 12 that speaks no 488.2,
// requests service when triggered and answers with a long record holding a
// NUL byte. Board 1 carries one multimeter, so that choosing GPIB1 finds a
// lone listener.
constexpr std::string_view kBench = R"yaml(
spec: "1.1"

devices:
  multimeter:
    eom:
      GPIB INSTR: {q: "\n", r: "\n"}
    delimiter: ";"
    error:
      status_register:
        - {q: "*ESR?", command_error: 32, query_error: 4, execution_error: 16}
      error_queue:
        - q: "SYST:ERR?"
          default: '+0,"No error"'
          command_error: '-113,"Undefined header"'
          query_error: '-420,"Query UNTERMINATED"'
          execution_error: '-222,"Data out of range"'
    dialogues:
      - {q: "*IDN?", r: "SIMULATED BENCH,DMM-9,0001,1.0"}
      - {q: "READ?", r: "+1.234567E+00"}
      - {q: "CONF:VOLT:DC"}
      - {q: "CONF:CURR:DC"}
    properties:
      voltage:
        default: 1.234567
        getter: {q: "MEAS:VOLT:DC?", r: "{:+.6E}"}
        setter: {q: "SIM:VOLT {:f}"}
        specs: {min: -1000, max: 1000, type: float}
      current:
        default: 0.0012
        getter: {q: "MEAS:CURR:DC?", r: "{:+.6E}"}
        setter: {q: "SIM:CURR {:f}"}
        specs: {min: -10, max: 10, type: float}
      function:
        default: VOLT
        getter: {q: "FUNC?", r: "\"{}\""}
        setter: {q: "FUNC {}"}
        specs: {valid: [VOLT, CURR, RES], type: str}

  power supply:
    eom:
      GPIB INSTR: {q: "\n", r: "\n"}
    delimiter: ";"
    error:
      error_queue:
        - q: "SYST:ERR?"
          default: '+0,"No error"'
          command_error: '-113,"Undefined header"'
          query_error: '-420,"Query UNTERMINATED"'
    dialogues:
      - {q: "*IDN?", r: "SIMULATED BENCH,PSU-5,0002,1.0"}
    properties:
      voltage:
        default: 5.0
        getter: {q: "VOLT?", r: "{:.3f}"}
        setter: {q: "VOLT {:f}"}
        specs: {min: 0, max: 30, type: float}
      current:
        default: 1.0
        getter: {q: "CURR?", r: "{:.3f}"}
        setter: {q: "CURR {:f}"}
        specs: {min: 0, max: 3, type: float}
      output:
        default: 0
        getter: {q: "OUTP?", r: "{:d}"}
        setter: {q: "OUTP {:d}"}
        specs: {valid: [0, 1], type: int}

  scanner:
    eom:
      GPIB INSTR: {q: "\n", r: "\n"}
    dialogues:
      - {q: "*IDN?", r: "SIMULATED BENCH,SCAN-7,0003,1.0"}
    properties:
      channel:
        default: 1
        getter: {q: "ROUT:CLOS?", r: "{:d}"}
        setter: {q: "ROUT:CLOS {:d}"}
        specs: {min: 1, max: 16, type: int}

  dmm 3:
    eom:
      GPIB INSTR: {q: "\n", r: "\n"}
    dialogues:
      - {q: "*IDN?", r: "SIMULATED BENCH,DMM-3,0004,1.0"}
      - {q: "READ?", r: "-0.012345E+00"}

  counter:
    eom:
      GPIB INSTR: {q: "\n", r: "\r\n"}
    dialogues:
      - {q: "ID", r: "SIMULATED BENCH COUNTER 12 REV A"}
      - {q: "OD", r: "LOG 12\0 +1.00000000E+06,+1.00000012E+06,+0.99999987E+06,+1.00000003E+06,+1.00000025E+06,+0.99999991E+06 END"}
      - {q: "RESET"}

resources:
  GPIB0::9::INSTR: {device: multimeter}
  GPIB0::5::1::INSTR: {device: power supply}
  GPIB0::7::2::INSTR: {device: scanner}
  GPIB0::12::INSTR: {device: counter}
  GPIB1::3::INSTR: {device: dmm 3}

gpib:
  boards:
    - {index: 0, name: GPIB0, pad: 0, system_controller: true}
    - {index: 1, name: GPIB1, pad: 0, system_controller: true}
  instruments:
    GPIB0::9::INSTR:
      match_case: false
      trigger: {response: "+1.234567E+00", esr_bits: 1}
    GPIB0::5::1::INSTR:
      match_case: false
    GPIB0::7::2::INSTR:
      match_case: false
      device_clear: {reset: true}
    GPIB0::12::INSTR:
      ieee488_2: false
      match_case: false
      response_delay_ms: 5
      trigger:
        response: "LOG 12\0 +1.00000000E+06,+1.00000012E+06,+0.99999987E+06,+1.00000003E+06,+1.00000025E+06,+0.99999991E+06 END"
        request_service: true
        status_bits: 0x01
    GPIB1::3::INSTR:
      match_case: false
)yaml";

}  // namespace

std::string_view builtinBenchText() {
    return kBench;
}

}  // namespace sim
