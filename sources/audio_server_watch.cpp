#include "sources/audio_server_watch.h"

#include <pulse/pulseaudio.h>

#include <mutex>
#include <utility>

namespace nimbra {

struct AudioServerWatch::Impl {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    bool answered = false;  // the current context reached READY; mainloop lock held
    bool timedOut = false;  // mainloop lock held
    std::mutex handlerMutex;
    std::function<void()> lost;

    static void stateChanged(pa_context* c, void* userdata)
    {
        auto* self = static_cast<Impl*>(userdata);
        const pa_context_state_t state = pa_context_get_state(c);
        if (self->answered && !PA_CONTEXT_IS_GOOD(state)) {
            self->answered = false;
            std::lock_guard<std::mutex> lock(self->handlerMutex);
            if (self->lost)
                self->lost();
        }
        pa_threaded_mainloop_signal(self->loop, 0);
    }

    static void timeUp(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata)
    {
        auto* self = static_cast<Impl*>(userdata);
        self->timedOut = true;
        pa_threaded_mainloop_signal(self->loop, 0);
    }

    // Mainloop lock held.
    void drop()
    {
        if (!context)
            return;
        answered = false;
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
        context = nullptr;
    }
};

AudioServerWatch::AudioServerWatch() : impl_(std::make_unique<Impl>())
{
    impl_->loop = pa_threaded_mainloop_new();
    if (impl_->loop && pa_threaded_mainloop_start(impl_->loop) < 0) {
        pa_threaded_mainloop_free(impl_->loop);
        impl_->loop = nullptr;
    }
}

AudioServerWatch::~AudioServerWatch()
{
    if (!impl_->loop)
        return;
    pa_threaded_mainloop_lock(impl_->loop);
    impl_->drop();
    pa_threaded_mainloop_unlock(impl_->loop);
    pa_threaded_mainloop_stop(impl_->loop);
    pa_threaded_mainloop_free(impl_->loop);
}

void AudioServerWatch::setLostHandler(std::function<void()> handler)
{
    std::lock_guard<std::mutex> lock(impl_->handlerMutex);
    impl_->lost = std::move(handler);
}

bool AudioServerWatch::connect(int timeoutMs)
{
    Impl& m = *impl_;
    if (!m.loop)
        return false;
    pa_threaded_mainloop_lock(m.loop);
    m.drop();
    m.timedOut = false;
    m.context = pa_context_new(pa_threaded_mainloop_get_api(m.loop), "nimbra-server-watch");
    bool answered = false;
    if (m.context) {
        pa_context_set_state_callback(m.context, &Impl::stateChanged, &m);
        // Flags as Qt's own connection has them: a server that is spawned on demand is spawned.
        if (pa_context_connect(m.context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) >= 0) {
            pa_time_event* timer = pa_context_rttime_new(
                m.context, pa_rtclock_now() + static_cast<pa_usec_t>(timeoutMs) * 1000, &Impl::timeUp, &m);
            for (;;) {
                const pa_context_state_t state = pa_context_get_state(m.context);
                if (state == PA_CONTEXT_READY) {
                    answered = true;
                    break;
                }
                if (!PA_CONTEXT_IS_GOOD(state) || m.timedOut)
                    break;
                pa_threaded_mainloop_wait(m.loop);
            }
            if (timer)
                pa_threaded_mainloop_get_api(m.loop)->time_free(timer);
        }
        if (answered)
            m.answered = true;
        else
            m.drop();
    }
    pa_threaded_mainloop_unlock(m.loop);
    return answered;
}

}  // namespace nimbra
