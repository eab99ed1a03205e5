// CVLPIO: the serial port under the protocol engine.
//
// Opens the port named in the connection settings at 1200 baud, 8N1, DTR and RTS off,
// reads single bytes with a time-out (a byte that arrives after a time-out is returned by
// the next call, never lost), writes byte strings, switches the line speed after the
// protocol's speed-change messages, counts bytes both ways and renders bytes for traces.
//
// The system calls sit behind ISerialPort (SerialPort.h), so tests can put a scripted or
// failing port in its place; the POSIX implementation is the only place with termios.
#pragma once

#include "LinkCapture.h"
#include "LinkStats.h"
#include "Notify.h"
#include "PortOpenError.h"
#include "ProfileSection.h"
#include "SerialPort.h"
#include "TextCodec.h" // EscapeText

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#if defined(__GNUC__)
#define VQ5_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define VQ5_PRINTF(fmt, args)
#endif

namespace vq5 {

// Speed table, indexed 0 to 5.
inline constexpr int kSpeedTable[6] = {1200, 2400, 4800, 9600, 14400, 19200};

// Renders bytes as quoted text for traces: control bytes by name ("\SOH", "\ADR"),
// printable ASCII as itself, anything else as "\0x%02x". At most 1024 characters.
std::string ByteText(std::size_t count, const unsigned char* bytes);

// Formats printf-style into at most `size` - 1 characters (the rest is cut), up to the first
// NUL; a format that fails gives an empty text.
std::string FormatText(std::size_t size, const char* format, std::va_list args);

class CVLPIO {
public:
    // Binds "ComPort", "Timeout" and "FastBaudRate" in section "VLPIO" of the store (the
    // default store when null). The port is not opened here.
    explicit CVLPIO(ISettingsStore* store = nullptr);
    virtual ~CVLPIO();
    CVLPIO(const CVLPIO&) = delete;
    CVLPIO& operator=(const CVLPIO&) = delete;

    // Level 0 "I/O", 1 "Frame", 2 "Slave", 3 "Appl". Does nothing here.
    virtual void Trace(int level, const char* format, ...) VQ5_PRINTF(3, 4);
    // True while trace lines are taken (a sink is attached): callers skip building costly
    // arguments (ByteText) otherwise. False here.
    virtual bool Tracing() const { return false; }
    virtual void PutByte(unsigned char byte);
    // 0..255: the byte; -1: the read failed; -2: no byte within m_Timeout.
    virtual int GetByte();

    bool Open();
    void Close();
    bool IsOpen() const;
    bool SetSpeed(int index); // 0..5; false (and nothing changed) outside
    int CurrentBaud() const;  // the line speed the port runs at now, 0 when closed
    void PutString(const unsigned char* bytes, std::size_t count);
    // Reads and drops what is waiting on the line now, without waiting for more (at most
    // `limit` bytes); returns how many bytes were dropped.
    std::size_t DiscardWaiting(std::size_t limit = 4096);
    // "Error: <what>" with the system's text for `error`, for a failure of `step`.
    void ShowError(PortStep step, const std::string& what, int error);
    // The same with a text of its own ("port in use: COM1"). One box per failure episode: once
    // a box was shown, later errors are only traced until the failed operation (read, write)
    // succeeds again or the port is opened.
    void ShowErrorText(PortStep step, const std::string& what, const std::string& text);

    // The last read or write found the port gone (unplugged, hung up); Open clears it.
    bool PortLost() const;
    // Interrupt() was called and ClearInterrupt() not yet.
    bool IsInterrupted() const;
    // The tools' boxes: from now on a port's error box says which port failed, why, and what
    // happens next, with `openAdvice` as the last line after a failed open (PortFailureText).
    // Without it the box holds the system's reason alone (the command line's form).
    void SetErrorAdvice(const std::string& openAdvice);
    // Forgets the shown box, so the next error gets one again (Start does this).
    void NewErrorEpisode();

    // Wakes a read or write that waits, so a stop never waits for a read time-out.
    void Interrupt();
    void ClearInterrupt();

    // Seams: where message boxes go (default: stderr) and how a port is made (default: POSIX).
    void SetUserMessages(IUserMessages* messages);
    IUserMessages& UserMessages() const;
    void SetPortFactory(std::function<std::unique_ptr<ISerialPort>()> factory);

    // The link figures (LinkStats.h) with the current line speed; any thread.
    LinkFigures Figures() const;
    // Attaches a capture that gets every byte both ways and every speed change (not owned;
    // null detaches). When it returns, no hand-over to the capture detached is running.
    void SetCapture(ILinkCapture* capture);
    bool Capturing() const;

    // Connection settings, bound to section "VLPIO". Read by the worker, written by the GUI
    // thread (settings dialog) as single words.
    std::atomic<unsigned> m_Timeout{2000};
    std::atomic<int> m_FastBaudRate{3};
    std::string m_ComPort{"COM1"}; // only changed while the worker is stopped
    // Bytes since the status box last took the counts (it reads them with exchange(0)).
    std::atomic<int> m_CountIn{0};
    std::atomic<int> m_CountOut{0};

protected:
    CProfileSection m_Settings;
    CLinkStats m_Stats; // written by the worker through the frame and slave layers

    void Capture(LinkDirection direction, const unsigned char* bytes, std::size_t count,
                 ILinkCapture::Time when);
    void CaptureSpeed();

private:
    struct Impl;
    std::unique_ptr<Impl> m_Impl;
};

} // namespace vq5
