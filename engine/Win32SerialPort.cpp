#include "Win32SerialPort.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cctype>
#include <chrono>

namespace vq5 {

namespace {
using Clock = std::chrono::steady_clock;

// "COM" followed by a number, any case.
bool IsComName(const std::string& name) {
    if (name.size() < 4 || name.size() > 6)
        return false;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return false;
    for (std::size_t i = 3; i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return false;
    return name[3] != '0';
}

// The port's name without the device prefix, upper case: "\\.\com12" and "COM12" are one port.
std::string PortKey(const std::string& name) {
    std::string key = name.rfind("\\\\.\\", 0) == 0 ? name.substr(4) : name;
    for (char& c : key) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (c == '\\')
            c = '/';
    }
    return key;
}

void ApplyEngineSettings(DCB& dcb, DWORD baud) {
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
}
} // namespace

struct CWin32SerialPort::Handles {
    std::atomic<HANDLE> com{INVALID_HANDLE_VALUE};
    HANDLE lock = nullptr; // named object that marks the port as taken by one of these ports
    HANDLE stop = nullptr; // manual reset; set while interrupted
    OVERLAPPED read{};
    OVERLAPPED write{};
};

bool CommLineSettings::Taken() const {
    return byteSize == 8 && parity == NOPARITY && stopBits == ONESTOPBIT && !ctsFlow && !dsrFlow &&
           !xonXoff && !dsrSensitive && !abortOnError;
}

std::string PortDevicePath(const std::string& name) {
    if (IsComName(name))
        return "\\\\.\\COM" + name.substr(3);
    return name;
}

CWin32SerialPort::CWin32SerialPort() : m_H(new Handles) {
    m_H->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_H->read.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_H->write.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

CWin32SerialPort::~CWin32SerialPort() {
    Close();
    for (HANDLE h : {m_H->stop, m_H->read.hEvent, m_H->write.hEvent})
        if (h)
            CloseHandle(h);
    delete m_H;
}

bool CWin32SerialPort::Open(const std::string& name, int& error) {
    if (IsOpen())
        Close();
    if (!m_H->stop || !m_H->read.hEvent || !m_H->write.hEvent) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    const std::string path = PortDevicePath(name);
    // Not shared; the driver refuses a second open with ERROR_ACCESS_DENIED.
    HANDLE com = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    if (com == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    auto fail = [&](DWORD err) {
        if (m_H->lock) {
            CloseHandle(m_H->lock);
            m_H->lock = nullptr;
        }
        CloseHandle(com);
        error = static_cast<int>(err);
        return false;
    };
    // Two programs of these tools never share a port, also where a driver lets a second open
    // through: the first holds a named object for the port as long as it has it open.
    const std::string lockName = "Local\\VQ5-serial-port-" + PortKey(path);
    m_H->lock = CreateEventA(nullptr, TRUE, FALSE, lockName.c_str());
    if (!m_H->lock)
        return fail(GetLastError());
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return fail(ERROR_ACCESS_DENIED);

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(com, &dcb))
        return fail(GetLastError());
    ApplyEngineSettings(dcb, 1200);
    if (!SetCommState(com, &dcb))
        return fail(GetLastError());
    // SetCommState may take part of the settings: read back the speed, the frame and flow
    // control. (The modem lines are not checked: a port without them reports them as it likes.)
    DCB back{};
    back.DCBlength = sizeof back;
    if (!GetCommState(com, &back))
        return fail(GetLastError());
    if (back.BaudRate != 1200 || back.ByteSize != 8 || back.Parity != NOPARITY ||
        back.StopBits != ONESTOPBIT || back.fOutxCtsFlow || back.fOutxDsrFlow || back.fOutX || back.fInX)
        return fail(static_cast<DWORD>(kWin32SettingsRefused));
    // Reads wait for their byte (the engine times them with its own wait), writes until done:
    // time-outs a previous program left on the port would make reads return empty.
    COMMTIMEOUTS timeouts{};
    if (!SetCommTimeouts(com, &timeouts))
        return fail(GetLastError());
    // DTR and RTS off now as well (an adapter without modem lines refuses; that is fine).
    (void)EscapeCommFunction(com, CLRDTR);
    (void)EscapeCommFunction(com, CLRRTS);
    // Bytes that waited in the driver before this open belong to nobody.
    (void)PurgeComm(com, PURGE_RXCLEAR | PURGE_TXCLEAR);
    ResetEvent(m_H->read.hEvent);
    ResetEvent(m_H->write.hEvent);
    m_ReadPending = false;
    m_Baud = 1200;
    m_H->com = com;
    return true;
}

void CWin32SerialPort::CancelRead() {
    HANDLE com = m_H->com.load();
    if (!m_ReadPending || com == INVALID_HANDLE_VALUE)
        return;
    // The read's byte and record must stay valid until the read has ended.
    CancelIoEx(com, &m_H->read);
    DWORD n = 0;
    (void)GetOverlappedResult(com, &m_H->read, &n, TRUE);
    m_ReadPending = false;
}

void CWin32SerialPort::Drain() {
    // Lets bytes already written leave the line, bounded: a line that never drains must not
    // hold the caller.
    HANDLE com = m_H->com.load();
    const auto deadline = Clock::now() + std::chrono::milliseconds(kDrainLimitMs);
    for (;;) {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(com, &errors, &stat) || stat.cbOutQue == 0)
            return;
        DWORD left = RemainingMs<DWORD>(deadline);
        if (left == 0 || m_Interrupted.load())
            return;
        int baud = m_Baud.load() > 0 ? m_Baud.load() : 1200;
        DWORD ms = static_cast<DWORD>((static_cast<unsigned long long>(stat.cbOutQue) * 10000) / baud) + 1;
        if (ms > 20)
            ms = 20;
        if (ms > left)
            ms = left;
        if (WaitForSingleObject(m_H->stop, ms) == WAIT_OBJECT_0)
            return;
    }
}

void CWin32SerialPort::Close() {
    if (m_H->com.load() == INVALID_HANDLE_VALUE)
        return;
    CancelRead();
    Drain();
    HANDLE com = m_H->com.exchange(INVALID_HANDLE_VALUE);
    (void)PurgeComm(com, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    CloseHandle(com);
    if (m_H->lock) {
        CloseHandle(m_H->lock);
        m_H->lock = nullptr;
    }
    m_Baud = 0;
}

bool CWin32SerialPort::IsOpen() const {
    return m_H->com.load() != INVALID_HANDLE_VALUE;
}

ReadResult CWin32SerialPort::ReadByte(unsigned char& byte, unsigned timeoutMs, int& error) {
    HANDLE com = m_H->com.load();
    if (com == INVALID_HANDLE_VALUE) {
        error = ERROR_INVALID_HANDLE;
        return ReadResult::Failed;
    }
    if (m_Interrupted.load())
        return ReadResult::Interrupted;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!m_ReadPending) {
            ResetEvent(m_H->read.hEvent);
            m_H->read.Offset = 0;
            m_H->read.OffsetHigh = 0;
            DWORD n = 0;
            if (ReadFile(com, &m_ReadByte, 1, &n, &m_H->read)) {
                if (n == 1) {
                    byte = m_ReadByte;
                    return ReadResult::Byte;
                }
                // Completed empty (only port time-outs allow that): wait a little, try again.
                if (RemainingMs<DWORD>(deadline) == 0)
                    return ReadResult::Timeout;
                if (WaitForSingleObject(m_H->stop, 1) == WAIT_OBJECT_0)
                    return ReadResult::Interrupted;
                continue;
            }
            DWORD err = GetLastError();
            if (err != ERROR_IO_PENDING) {
                error = static_cast<int>(err);
                return ReadResult::Failed;
            }
            m_ReadPending = true;
        }
        HANDLE waits[2] = {m_H->stop, m_H->read.hEvent};
        DWORD w = WaitForMultipleObjects(2, waits, FALSE, RemainingMs<DWORD>(deadline));
        if (w == WAIT_OBJECT_0)
            return ReadResult::Interrupted; // the read stays outstanding
        if (w == WAIT_TIMEOUT)
            return ReadResult::Timeout; // the same read delivers to the next call
        if (w != WAIT_OBJECT_0 + 1) {
            error = static_cast<int>(GetLastError());
            return ReadResult::Failed;
        }
        DWORD n = 0;
        BOOL ok = GetOverlappedResult(com, &m_H->read, &n, FALSE);
        DWORD err = ok ? 0 : GetLastError();
        m_ReadPending = false;
        if (ok && n == 1) {
            byte = m_ReadByte;
            return ReadResult::Byte;
        }
        if (!ok) {
            if (err == ERROR_OPERATION_ABORTED && m_Interrupted.load())
                return ReadResult::Interrupted;
            error = static_cast<int>(err);
            return ReadResult::Failed;
        }
        if (RemainingMs<DWORD>(deadline) == 0)
            return ReadResult::Timeout;
    }
}

WriteResult CWin32SerialPort::Write(const unsigned char* bytes, std::size_t count, std::size_t& written,
                                    int& error) {
    written = 0;
    HANDLE com = m_H->com.load();
    if (com == INVALID_HANDLE_VALUE) {
        error = ERROR_INVALID_HANDLE;
        return WriteResult::Failed;
    }
    if (m_Interrupted.load())
        return WriteResult::Interrupted;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteTimeoutMs);
    while (written < count) {
        ResetEvent(m_H->write.hEvent);
        m_H->write.Offset = 0;
        m_H->write.OffsetHigh = 0;
        DWORD chunk = static_cast<DWORD>(count - written > 65536 ? 65536 : count - written);
        DWORD n = 0;
        if (!WriteFile(com, bytes + written, chunk, &n, &m_H->write)) {
            DWORD err = GetLastError();
            if (err != ERROR_IO_PENDING) {
                error = static_cast<int>(err);
                return WriteResult::Failed;
            }
            HANDLE waits[2] = {m_H->stop, m_H->write.hEvent};
            DWORD w = WaitForMultipleObjects(2, waits, FALSE, RemainingMs<DWORD>(deadline));
            if (w != WAIT_OBJECT_0 + 1) {
                // Stopped, timed out or the wait failed: the write ends before its buffer goes.
                DWORD waitErr = w == WAIT_FAILED ? GetLastError() : 0;
                CancelIoEx(com, &m_H->write);
                (void)GetOverlappedResult(com, &m_H->write, &n, TRUE);
                written += n;
                if (w == WAIT_OBJECT_0)
                    return WriteResult::Interrupted;
                error = static_cast<int>(w == WAIT_TIMEOUT ? ERROR_TIMEOUT : waitErr);
                return WriteResult::Failed;
            }
            if (!GetOverlappedResult(com, &m_H->write, &n, FALSE)) {
                error = static_cast<int>(GetLastError());
                return WriteResult::Failed;
            }
        }
        written += n;
        if (n == 0) {
            // Nothing taken (only port time-outs allow that): a moment, then again.
            if (RemainingMs<DWORD>(deadline) == 0) {
                error = ERROR_TIMEOUT;
                return WriteResult::Failed;
            }
            if (WaitForSingleObject(m_H->stop, 1) == WAIT_OBJECT_0)
                return WriteResult::Interrupted;
        }
    }
    return WriteResult::Done;
}

bool CWin32SerialPort::SetBaud(int baud, int& error) {
    HANDLE com = m_H->com.load();
    if (com == INVALID_HANDLE_VALUE) {
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    Drain();
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(com, &dcb)) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    dcb.BaudRate = static_cast<DWORD>(baud);
    if (!SetCommState(com, &dcb)) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    DCB back{};
    back.DCBlength = sizeof back;
    if (!GetCommState(com, &back)) {
        m_Baud = baud;
        return true;
    }
    m_Baud = static_cast<int>(back.BaudRate);
    if (back.BaudRate != static_cast<DWORD>(baud)) {
        error = kWin32SettingsRefused; // the driver runs another speed
        return false;
    }
    return true;
}

int CWin32SerialPort::Baud() const {
    return IsOpen() ? m_Baud.load() : 0;
}

bool CWin32SerialPort::ReadLineSettings(CommLineSettings& s) const {
    HANDLE com = m_H->com.load();
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (com == INVALID_HANDLE_VALUE || !GetCommState(com, &dcb))
        return false;
    s.baud = dcb.BaudRate;
    s.byteSize = dcb.ByteSize;
    s.parity = dcb.Parity;
    s.stopBits = dcb.StopBits;
    s.dtrControl = static_cast<int>(dcb.fDtrControl);
    s.rtsControl = static_cast<int>(dcb.fRtsControl);
    s.ctsFlow = dcb.fOutxCtsFlow;
    s.dsrFlow = dcb.fOutxDsrFlow;
    s.xonXoff = dcb.fOutX || dcb.fInX;
    s.dsrSensitive = dcb.fDsrSensitivity;
    s.abortOnError = dcb.fAbortOnError;
    return true;
}

void CWin32SerialPort::Interrupt() {
    m_Interrupted = true;
    if (m_H->stop)
        SetEvent(m_H->stop);
}

void CWin32SerialPort::ClearInterrupt() {
    if (m_H->stop)
        ResetEvent(m_H->stop);
    m_Interrupted = false;
}

bool IsPortLost(int error) {
    switch (static_cast<DWORD>(error)) {
    case ERROR_INVALID_HANDLE: // the handle went with the device
    case ERROR_BAD_COMMAND:    // USB adapter unplugged
    case ERROR_GEN_FAILURE:    // device not functioning
    case ERROR_NOT_READY:      // the line behind the port is gone
    case ERROR_BROKEN_PIPE:    // the other end of the line went away
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_ACCESS_DENIED: // an unplugged adapter's handle refuses every call
        return true;
    default:
        return false;
    }
}

std::unique_ptr<ISerialPort> MakeSystemSerialPort() {
    return std::make_unique<CWin32SerialPort>();
}

std::string PortErrorText(int error) {
    if (error == kWin32SettingsRefused)
        return "the driver did not keep the line settings it was given";
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, static_cast<DWORD>(error), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result;
    if (n && text)
        result.assign(text, n);
    if (text)
        LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
        result.pop_back();
    if (result.empty())
        result = "Error " + std::to_string(static_cast<unsigned long>(error));
    return result;
}

std::string PortOpenFailureText(const std::string& name, int error) {
    switch (static_cast<DWORD>(error)) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return "port in use: " + name;
    case static_cast<DWORD>(kWin32SettingsRefused):
        return "the port does not keep the line settings (1200 baud, 8N1, raw): " + name;
    default:
        return PortErrorText(error);
    }
}

} // namespace vq5
