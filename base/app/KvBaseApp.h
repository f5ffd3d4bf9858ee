// KvBaseApp: the application base of every program of the family, and the
// application's daily log files.
//
// The host makes one application object (KvGetApp() finds it), calls
// InitInstance, Run (which returns when a quit is posted through
// KvPostQuitMessage) and ExitInstance (which runs the registered clean-up
// functions of the process-wide singletons).
//
// Log files: "<dir>YYYY-MM-DD.log" in the log directory; the name moves to
// a new file with the first line written on a new day. Each line is one
// append write of the text and CR LF, so lines of several threads never
// mix. LogMessage and the log path members may be called from any thread.
#pragma once

#include <cstdarg>
#include <mutex>

#include "base/platform/CString.h"
#include "base/platform/Object.h"

class KvBaseApp : public CObject {
    DECLARE_DYNAMIC(KvBaseApp)
public:
    KvBaseApp();
    ~KvBaseApp() override;
    KvBaseApp(const KvBaseApp&) = delete;
    KvBaseApp& operator=(const KvBaseApp&) = delete;

    // Seeds rand() (used for non-secret choices only: anything secret uses
    // a cryptographic source), refreshes kvData, and logs into the
    // program's directory. 1.
    virtual int InitInstance();
    // Serves the (headless) message loop until a quit is posted; the
    // quit's exit code.
    virtual int Run();
    // Destroys the registered singletons (KvCleanupMgr); the exit code.
    virtual int ExitInstance();

    // Stores the directory with a final separator added when missing and
    // starts a new log file name. An empty directory turns logging off.
    void SetLogPath(const char* dir);
    CString GetLogPath() const;
    CString GetLogFileName() const;
    // Makes the file name anew when there is none, when forced, or when
    // the day changed since it was made.
    void CheckLogFileName(BOOL force = FALSE);
    // Appends one line to the day's log file; nothing when no log
    // directory is set or the file cannot be opened.
    void LogMessage(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void LogMessageV(const char* fmt, va_list args) __attribute__((format(printf, 2, 0)));

protected:
    // Today's local date; a derived application (or a test) may supply
    // its own clock.
    virtual void GetToday(int& year, int& month, int& day) const;

private:
    void CheckLogFileNameLocked(BOOL force);

    mutable std::mutex m_csLog;  // guards the three members below
    CString m_strLogPath;
    CString m_strLogFile;
    int m_nLogDate = 0;  // year * 10000 + month * 100 + day of m_strLogFile
};

// The running application object, or null.
KvBaseApp* KvGetApp();

// Formats a line and appends it to the file (see KvDoLogMessage).
void KvLogMessage(const char* file, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// Appends text and CR LF to the file in one write, creating the file when
// missing; nothing happens (and nothing is reported) when it cannot be
// opened.
void KvDoLogMessage(const char* file, const char* text);
