#include "sim/instrument.h"

#include <cstring>

#include "driver/board.h"

namespace sim {

namespace {
constexpr size_t kMaxInput = 64 * 1024;     // a longer message is cut, as a full input buffer would
constexpr size_t kMaxOutput = 1024 * 1024;  // responses past this are lost
}  // namespace

Instrument::Instrument(const InstrumentDef& def, const DeviceDef& device)
    : m_def(def),
      m_status(def.ieee4882, def.esr, def.ese, def.sre),
      m_responder(device, def.matchCase, m_status) {
    m_in.reserve(256);
    m_out.reserve(256);
    m_scratch.reserve(256);
}

void Instrument::receiveData(const char* data, size_t n, bool eoi, int64_t nowUs) {
    const std::string& term = m_responder.definition().queryTermination;
    size_t room = kMaxInput > m_in.size() ? kMaxInput - m_in.size() : 0;
    size_t searchFrom = m_in.size() >= term.size() ? m_in.size() - term.size() + 1 : 0;
    m_in.append(data, n < room ? n : room);
    if (!term.empty()) {
        size_t start = 0;
        for (size_t pos; (pos = m_in.find(term, searchFrom)) != std::string::npos;) {
            completeMessage(std::string_view(m_in).substr(start, pos - start), nowUs);
            start = searchFrom = pos + term.size();
        }
        if (start > 0)
            m_in.erase(0, start);
    }
    if (eoi && !m_in.empty()) {
        completeMessage(m_in, nowUs);
        m_in.clear();
    }
}

void Instrument::completeMessage(std::string_view message, int64_t nowUs) {
    // A trailing CR or LF is the 488.2 terminator and white space, whatever
    // this instrument's own termination is.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.remove_suffix(1);
    if (message.empty())
        return;  // an empty program message is no command
    const std::string& delimiter = m_responder.definition().delimiter;
    if (delimiter.empty()) {
        handleQuery(message, nowUs);
    } else {
        for (size_t start = 0;;) {
            size_t pos = message.find(delimiter, start);
            handleQuery(message.substr(start, pos - start), nowUs);
            if (pos == std::string_view::npos)
                break;
            start = pos + delimiter.size();
        }
    }
    updateStatus();
}

void Instrument::handleQuery(std::string_view query, int64_t nowUs) {
    if (!m_def.matchCase) {
        m_scratch.assign(query);
        for (char& c : m_scratch)
            if (c >= 'a' && c <= 'z')
                c = char(c - 32);
        query = m_scratch;
    }
    size_t start = m_out.size();
    Reply reply = m_responder.respond(query, m_out);
    if (reply == Reply::Unmatched && m_def.ieee4882) {
        switch (m_status.common(query, hasOutput(), m_responder.errorsQueued(), m_out)) {
            case Common::NotCommon:
                break;
            case Common::Done:
                reply = m_out.size() > start ? Reply::Answered : Reply::Silent;
                break;
            case Common::Reset:
                m_responder.resetProperties();
                reply = Reply::Silent;
                break;
            case Common::Trigger:
                trigger(nowUs);
                reply = Reply::Silent;
                break;
            case Common::Clear:
                m_responder.clearErrors();
                reply = Reply::Silent;
                break;
            case Common::BadArgument:
                m_responder.raiseError("execution_error");
                reply = Reply::Silent;
                break;
        }
    }
    if (reply == Reply::Unmatched || reply == Reply::CommandError) {
        m_responder.raiseError("command_error");
        const Response& text = m_responder.definition().commandError;
        if (!text)
            return;
        m_out += *text;
    } else if (reply == Reply::Silent) {
        return;
    }
    commitResponse(start, nowUs);
}

void Instrument::commitResponse(size_t start, int64_t nowUs) {
    bool silenced = m_def.answersLimit >= 0 && m_answered >= m_def.answersLimit;
    if (silenced || m_out.size() - m_outPos > kMaxOutput) {
        m_out.resize(start);
        return;
    }
    ++m_answered;
    m_out += m_responder.definition().responseTermination;
    m_messages.push_back({m_out.size(), nowUs + m_def.responseDelayUs});
}

size_t Instrument::takeOutput(char* dst, size_t max, int eos, int& ended) {
    ended = 0;
    if (!hasOutput())
        return 0;
    size_t msgEnd = m_messages[m_head].end;
    size_t n = msgEnd - m_outPos < max ? msgEnd - m_outPos : max;
    if (eos >= 0) {
        const void* hit = std::memchr(m_out.data() + m_outPos, eos, n);
        if (hit) {
            n = size_t(static_cast<const char*>(hit) - (m_out.data() + m_outPos)) + 1;
            ended |= gpibdrv::kEndChar;
        }
    }
    std::memcpy(dst, m_out.data() + m_outPos, n);
    m_outPos += n;
    if (m_outPos == msgEnd) {
        if (m_def.sendsEoi)
            ended |= gpibdrv::kEndEoi;
        if (++m_head == m_messages.size()) {
            m_out.clear();
            m_outPos = 0;
            m_messages.clear();
            m_head = 0;
        }
        updateStatus();
    }
    return n;
}

void Instrument::readWithoutQuery() {
    m_responder.raiseError("query_error");
    updateStatus();
}

uint8_t Instrument::serialPoll() {
    uint8_t b = m_status.poll(hasOutput(), m_responder.errorsQueued(), m_def.rqsInPoll);
    if (!m_def.ieee4882)
        m_status.clearDeviceBits();  // older instruments clear their status on a poll
    m_status.update(hasOutput(), m_responder.errorsQueued());
    return b;
}

void Instrument::trigger(int64_t nowUs) {
    const TriggerAction& t = m_def.trigger;
    if (t.response) {
        size_t start = m_out.size();
        m_out += *t.response;
        commitResponse(start, nowUs);
    }
    m_status.setEventBits(t.esrBits);
    if (t.requestService)
        m_status.requestService(t.statusBits);
    else
        m_status.setDeviceBits(t.statusBits);
    updateStatus();
}

void Instrument::deviceClear() {
    if (m_def.clear.clearInput)
        m_in.clear();
    if (m_def.clear.clearOutput) {
        m_out.clear();
        m_outPos = 0;
        m_messages.clear();
        m_head = 0;
    }
    if (m_def.clear.reset)
        m_responder.resetProperties();
    updateStatus();
}

void Instrument::updateStatus() {
    m_status.update(hasOutput(), m_responder.errorsQueued());
}

int Instrument::parallelPollLine() const {
    if (!m_ppe)
        return -1;
    // The line is asserted when the individual status matches the sense bit.
    const bool ist = m_def.ist.value_or(requestingService());
    const bool sense = (*m_ppe & 0x08) != 0;
    return ist == sense ? *m_ppe & 0x07 : -1;
}

}  // namespace sim
