#include "net/http_file_win.h"

#include "base/trace.h"

CHttpFile::CHttpFile(HWND ownerWindow, UINT message) : CHttp(ownerWindow, message, kBodyBufferSize, nullptr) {}

CHttpFile::~CHttpFile() {
    EndTransferOnDestroy();
    if (file) {
        gOs.Close(file);
        file = nullptr;
        Trace("CHttpFile::~CHttpFile(): Warning - file handle closed in destructor");
    }
}

void CHttpFile::EndTransferOnDestroy() {
    // Closing runs OnDisconnect and OnComplete, which close the file, then
    // the base OnFileComplete: a job's override is already gone.
    if (file) Close();
}

int CHttpFile::Get(const char* host, const char* path, int32_t targetPort, const char* fileName, uint32_t value) {
    file = gOs.CreateWrite(fileName);
    if (!file) return 0;
    writeFailed = false;
    WriteHeader(host, path, targetPort);
    headerOpen = true;
    int started = CHttp::Get(host, path, targetPort, value);
    if (!started) {
        gOs.Close(file);
        file = nullptr;
    }
    return started;
}

void CHttpFile::WriteText(const std::string& text) {
    WriteBytes(text.data(), static_cast<uint32_t>(text.size()));
}

void CHttpFile::WriteBytes(const char* data, uint32_t length) {
    uint32_t written = 0;
    if (!file || length == 0 || writeFailed) return;
    if (!gOs.Write(file, data, length, &written) || written != length) {
        Trace("CHttpFile::OnData(): Error - the file could not be written");
        writeFailed = true;
    }
}

void CHttpFile::OnData(const char* data, int length) {
    if (headerOpen) {
        WriteHeaderEnd();
        headerOpen = false;
    }
    if (length > 0) WriteBytes(data, static_cast<uint32_t>(length));
    if (writeFailed) Fail(HTTPFAULT_WRITE);  // the client then stops reading
}

void CHttpFile::OnComplete() {
    if (writeFailed) Fail(HTTPFAULT_WRITE);
    if (file) {
        gOs.Close(file);
        file = nullptr;
    }
    OnFileComplete();
}

void CHttpFile::WriteHeader(const char*, const char*, int32_t) {}
void CHttpFile::WriteHeaderEnd() {}

void CHttpFile::OnFileComplete() {
    Notify(0);
}

void CHttpIniFile::OnHeader(const char* line) {
    WriteText(SourceHeaderLine(SourceHeaderStyle::Ini, line));
}

void CHttpIniFile::WriteHeader(const char* host, const char* path, int32_t targetPort) {
    WriteText(SourceHeaderStart(SourceHeaderStyle::Ini, host, path, targetPort));
}

void CHttpIniFile::WriteHeaderEnd() {
    WriteText(SourceHeaderEnd(SourceHeaderStyle::Ini));
}

void CHttpHtmlFile::OnHeader(const char* line) {
    WriteText(SourceHeaderLine(SourceHeaderStyle::Html, line));
}

void CHttpHtmlFile::WriteHeader(const char* host, const char* path, int32_t targetPort) {
    WriteText(SourceHeaderStart(SourceHeaderStyle::Html, host, path, targetPort));
}

void CHttpHtmlFile::WriteHeaderEnd() {
    WriteText(SourceHeaderEnd(SourceHeaderStyle::Html));
}
