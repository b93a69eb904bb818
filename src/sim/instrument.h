#pragma once
// One instrument on the bus: its input buffer, its output queue, its status
// model and what it does on the bus messages (trigger, device clear, serial
// poll). Bytes arrive as a real instrument sees them; a program message is
// complete at EOI or at the instrument's query termination.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/bench_definition.h"
#include "sim/responder.h"
#include "sim/status_model.h"

namespace sim {

class Instrument {
  public:
    Instrument(const InstrumentDef& def, const DeviceDef& device);
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    const InstrumentDef& settings() const { return m_def; }
    const GpibAddress& address() const { return m_def.address; }
    bool listens() const { return m_def.present; }

    // Data bytes from the controller; eoi marks the last one.
    void receiveData(const char* data, size_t n, bool eoi, int64_t nowUs);

    // Whether a response is queued, and when its first byte can be sent.
    bool hasOutput() const { return m_head < m_messages.size(); }
    int64_t outputReadyAt() const { return m_messages[m_head].readyAtUs; }
    // Copies up to max bytes of the front response into dst. Stops after the
    // eos byte (0-255; -1 for none) or at the end of the response; ended gets
    // kEndChar for the eos byte and kEndEoi where the last byte carried EOI.
    size_t takeOutput(char* dst, size_t max, int eos, int& ended);

    // The controller tried to read while the instrument had nothing to say.
    void readWithoutQuery();

    uint8_t serialPoll();
    bool requestingService() const { return m_status.requestingService(); }
    void trigger(int64_t nowUs);
    void deviceClear();
    void setRemote(bool remote) { m_remote = remote; }
    bool remote() const { return m_remote; }
    // Local lockout (LLO): the front panel cannot take the instrument back to
    // local until REN goes.
    void setLockedOut(bool locked) { m_lockedOut = locked; }
    bool lockedOut() const { return m_lockedOut; }
    // Parallel poll: the PPE byte it was configured with (sense and line),
    // or none; and the line it then drives, 0-7, or -1.
    void configureParallelPoll(std::optional<uint8_t> ppe) { m_ppe = ppe; }
    int parallelPollLine() const;

    Responder& responder() { return m_responder; }
    StatusModel& status() { return m_status; }

  private:
    struct Message {
        size_t end;  // offset in m_out just past the response's last byte
        int64_t readyAtUs;
    };

    void completeMessage(std::string_view message, int64_t nowUs);
    void handleQuery(std::string_view query, int64_t nowUs);
    // Finishes the response appended to m_out from start on.
    void commitResponse(size_t start, int64_t nowUs);
    void updateStatus();

    const InstrumentDef& m_def;
    StatusModel m_status;
    Responder m_responder;
    std::string m_in;
    std::string m_scratch;
    std::string m_out;
    size_t m_outPos = 0;
    std::vector<Message> m_messages;
    size_t m_head = 0;
    long m_answered = 0;
    bool m_remote = false;
    bool m_lockedOut = false;
    std::optional<uint8_t> m_ppe;
};

}  // namespace sim
