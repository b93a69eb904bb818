#pragma once
// A name server that is gone: while one of these lives, every name lookup
// waits and never answers. It lets them go when it ends; the lookup threads
// (which may still be waiting after their caller gave up) keep what they
// wait on alive themselves.

#include <netdb.h>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "net/lookup.h"

class SilentResolver {
  public:
    SilentResolver() {
        net::setResolver(
            [silence = m_silence](const std::string&, int, std::vector<net::Address>&) {
                std::unique_lock<std::mutex> hold(silence->lock);
                silence->wake.wait(hold, [&] { return silence->released; });
                return EAI_AGAIN;
            });
    }
    ~SilentResolver() {
        net::setResolver(nullptr);
        std::lock_guard<std::mutex> hold(m_silence->lock);
        m_silence->released = true;
        m_silence->wake.notify_all();
    }
    SilentResolver(const SilentResolver&) = delete;
    SilentResolver& operator=(const SilentResolver&) = delete;

  private:
    struct Silence {
        std::mutex lock;
        std::condition_variable wake;
        bool released = false;
    };
    std::shared_ptr<Silence> m_silence = std::make_shared<Silence>();
};
