// CHttpFile: the HTTP client with a file as the body's destination. Get
// creates or empties the file, the body is appended as it arrives, and the
// file is closed when the response is complete. A write that fails (a full
// disk) ends the transfer as not whole. CHttpIniFile and
// CHttpHtmlFile first write a source header in their format's comment
// syntax; the plain CHttpFile writes none (for bitmaps).
#pragma once

#include <string>

#include "base/os.h"
#include "net/http_win.h"
#include "net/source_header.h"

class CHttpFile : public CHttp {
public:
    // The body arrives in writes of 999 bytes and a last, shorter one.
    static constexpr int32_t kBodyBufferSize = 1000;

    CHttpFile(HWND ownerWindow, UINT message);
    ~CHttpFile() override;

    // Creates (or empties) fileName and starts the request; non-zero when it
    // started. On failure the file stays, holding at most the source header.
    int Get(const char* host, const char* path, int32_t targetPort, const char* fileName, uint32_t value);

    void OnData(const char* data, int length) override;
    void OnComplete() override;

    virtual void WriteHeader(const char* host, const char* path, int32_t targetPort);
    virtual void WriteHeaderEnd();
    // The file is complete and closed; the users read the status and lengths here.
    virtual void OnFileComplete();

    OsFile* file = nullptr;    // the open destination, or none
    bool headerOpen = false;   // the source header awaits its end before the first body byte
    bool writeFailed = false;  // some bytes did not reach the file

protected:
    void WriteText(const std::string& text);
    void WriteBytes(const char* data, uint32_t length);
    // Ends a transfer still in progress while the object is being destroyed:
    // the file is completed and closed by the handlers of the class whose
    // destructor calls it, never by a job's.
    void EndTransferOnDestroy();
};

class CHttpIniFile : public CHttpFile {
public:
    using CHttpFile::CHttpFile;
    ~CHttpIniFile() override { EndTransferOnDestroy(); }
    void OnHeader(const char* line) override;
    void WriteHeader(const char* host, const char* path, int32_t targetPort) override;
    void WriteHeaderEnd() override;
};

class CHttpHtmlFile : public CHttpFile {
public:
    using CHttpFile::CHttpFile;
    ~CHttpHtmlFile() override { EndTransferOnDestroy(); }
    void OnHeader(const char* line) override;
    void WriteHeader(const char* host, const char* path, int32_t targetPort) override;
    void WriteHeaderEnd() override;
};
