#include "music.h"

#include <fcntl.h>
#include <mpg123.h>
#include <pulse/pulseaudio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr const char* soundtrackPath = "vandrel.mp3";
constexpr long outputRate = 44100;
constexpr int outputChannels = 2;
constexpr std::size_t frameBytes = outputChannels * sizeof(float);

// The server's default buffer is about two seconds, which would leave the
// sound trailing the picture; ask for a short one instead.
constexpr pa_usec_t targetLatencyUs = 40 * 1000;
// A server that is missing answers at once; one that accepts the connection
// and then says nothing must not hold up start-up longer than this.
constexpr pa_usec_t connectTimeoutUs = 1500 * 1000;

// Everything the decoder side needs. `fd` is ours: the decoder reads
// through it but never closes it, so the file is closed exactly once.
struct decoder_state {
    int fd = -1;
    mpg123_handle* handle = nullptr;
    bool exhausted = false;
};

// The playback side: the stream lives in the context, which lives in the
// loop, whose thread calls `data_callback`.
struct device_state {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    bool timedOut = false;
};

} // namespace

// Allocated on its own and never moved: the loop's thread holds the address
// of `decoder` from the stream's creation until the device is closed.
struct Music::State {
    decoder_state decoder;
    device_state device;
};

namespace {

// Opens the soundtrack without ever blocking (a FIFO would block a plain
// open until a writer turns up) and only if it is a regular file.
int openRegularFile(const char* path) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// A decoder that delivers 44.1 kHz stereo float whatever the file holds:
// mono is duplicated and other rates are resampled, so the device never
// plays at the wrong speed or pitch.
mpg123_handle* openDecoder(int fd) {
    mpg123_init();
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    if (mh == nullptr) return nullptr;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_STEREO | MPG123_FORCE_FLOAT, 0.0);
    mpg123_format_none(mh);
    mpg123_format(mh, outputRate, MPG123_STEREO, MPG123_ENC_FLOAT_32);

    long rate = 0;
    int channels = 0;
    int encoding = 0;
    // Reading the format decodes the first frame: a file without one fails
    // here rather than in the playback thread.
    if (mpg123_open_fd(mh, fd) != MPG123_OK ||
        mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK ||
        rate != outputRate || channels != outputChannels || encoding != MPG123_ENC_FLOAT_32) {
        mpg123_close(mh);
        mpg123_delete(mh);
        return nullptr;
    }
    return mh;
}

// Fills `size` bytes with decoded frames, silence past the end of the file.
void decodeInto(decoder_state& d, unsigned char* out, std::size_t size) {
    std::size_t filled = 0;
    while (!d.exhausted && filled < size) {
        std::size_t done = 0;
        const int err = mpg123_read(d.handle, out + filled, size - filled, &done);
        filled += done;
        if (err == MPG123_DONE || (err != MPG123_OK && err != MPG123_NEW_FORMAT)) d.exhausted = true;
        else if (done == 0 && err == MPG123_OK) break;
    }
    std::memset(out + filled, 0, size - filled);
}

// Runs on the loop's thread, with the loop's lock held, whenever the server
// wants more: decodes straight into the stream's own buffer.
void data_callback(pa_stream* stream, std::size_t nbytes, void* userdata) {
    auto& d = *static_cast<decoder_state*>(userdata);
    while (nbytes >= frameBytes) {
        void* buffer = nullptr;
        std::size_t size = nbytes;
        if (pa_stream_begin_write(stream, &buffer, &size) < 0 || buffer == nullptr) return;
        size -= size % frameBytes;
        if (size == 0) {
            pa_stream_cancel_write(stream);
            return;
        }
        decodeInto(d, static_cast<unsigned char*>(buffer), size);
        if (pa_stream_write(stream, buffer, size, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
        nbytes -= size;
    }
}

// Callbacks that only wake the constructor, which waits on the loop.
void signalLoop(pa_context*, void* loop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}
void signalLoopStream(pa_stream*, void* loop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}
void connectTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    auto& s = *static_cast<device_state*>(userdata);
    s.timedOut = true;
    pa_threaded_mainloop_signal(s.loop, 0);
}

// Waits, with the lock held, until the context and then the stream are
// ready, one of them fails, or the deadline passes.
bool waitUntilReady(device_state& s) {
    for (;;) {
        const pa_context_state_t cs = pa_context_get_state(s.context);
        if (!PA_CONTEXT_IS_GOOD(cs) || s.timedOut) return false;
        if (cs == PA_CONTEXT_READY) {
            if (s.stream == nullptr) return true;
            const pa_stream_state_t ss = pa_stream_get_state(s.stream);
            if (ss == PA_STREAM_READY) return true;
            if (!PA_STREAM_IS_GOOD(ss)) return false;
        }
        pa_threaded_mainloop_wait(s.loop);
    }
}

bool connectStream(device_state& s, decoder_state& d) {
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, outputRate, outputChannels};
    s.stream = pa_stream_new(s.context, "vandrel", &spec, nullptr);
    if (s.stream == nullptr) return false;
    pa_stream_set_state_callback(s.stream, signalLoopStream, s.loop);
    pa_stream_set_write_callback(s.stream, data_callback, &d);
    pa_buffer_attr attr;
    attr.maxlength = std::uint32_t(-1);
    attr.tlength = std::uint32_t(pa_usec_to_bytes(targetLatencyUs, &spec));
    attr.prebuf = std::uint32_t(-1);
    attr.minreq = std::uint32_t(-1);
    attr.fragsize = std::uint32_t(-1);
    return pa_stream_connect_playback(s.stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr,
                                      nullptr) == 0 &&
           waitUntilReady(s);
}

// Ends playback for good: no callback runs once this returns. Library calls
// are made under the loop's lock, the loop is stopped without it, and the
// stream and context go before the loop itself. No drain: what is still
// buffered is dropped.
void closeDevice(device_state& s) {
    if (s.loop == nullptr) return;
    pa_threaded_mainloop_lock(s.loop);
    if (s.stream != nullptr) {
        pa_stream_set_write_callback(s.stream, nullptr, nullptr);
        pa_stream_set_state_callback(s.stream, nullptr, nullptr);
        pa_stream_disconnect(s.stream);
        pa_stream_unref(s.stream);
        s.stream = nullptr;
    }
    if (s.context != nullptr) {
        pa_context_set_state_callback(s.context, nullptr, nullptr);
        pa_context_disconnect(s.context);
        pa_context_unref(s.context);
        s.context = nullptr;
    }
    pa_threaded_mainloop_unlock(s.loop);
    pa_threaded_mainloop_stop(s.loop);
    pa_threaded_mainloop_free(s.loop);
    s.loop = nullptr;
}

// Connects to the sound server and starts the stream; on any failure leaves
// nothing of the device behind.
bool openDevice(device_state& s, decoder_state& d) {
    s.loop = pa_threaded_mainloop_new();
    if (s.loop == nullptr) return false;
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(s.loop);
    s.context = pa_context_new(api, "demo");
    if (s.context == nullptr || pa_threaded_mainloop_start(s.loop) < 0) {
        if (s.context != nullptr) pa_context_unref(s.context);
        s.context = nullptr;
        pa_threaded_mainloop_free(s.loop);
        s.loop = nullptr;
        return false;
    }
    pa_threaded_mainloop_lock(s.loop);
    pa_context_set_state_callback(s.context, signalLoop, s.loop);
    pa_time_event* timer =
        pa_context_rttime_new(s.context, pa_rtclock_now() + connectTimeoutUs, connectTimeout, &s);
    // No autospawn: a missing server means silence, not a daemon of our own.
    const bool ok = pa_context_connect(s.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0 &&
                    waitUntilReady(s) && connectStream(s, d);
    if (timer != nullptr) api->time_free(timer);
    pa_threaded_mainloop_unlock(s.loop);
    if (!ok) closeDevice(s);
    return ok;
}

} // namespace

Music::Music() : state(std::make_unique<State>()) {
    decoder_state& d = state->decoder;
    d.fd = openRegularFile(soundtrackPath);
    if (d.fd >= 0) d.handle = openDecoder(d.fd);
    if (d.handle == nullptr && d.fd >= 0) {
        // Nothing to play: let the file go now rather than at the end.
        close(d.fd);
        d.fd = -1;
    }
    if (d.handle != nullptr) openDevice(state->device, d);
}

Music::~Music() {
    if (state == nullptr) return;
    closeDevice(state->device);
    decoder_state& d = state->decoder;
    if (d.handle != nullptr) {
        mpg123_close(d.handle);
        mpg123_delete(d.handle);
    }
    if (d.fd >= 0) close(d.fd);
}
