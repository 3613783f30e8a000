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
    uint32_t written;
    if (file && !text.empty()) gOs.Write(file, text.data(), static_cast<uint32_t>(text.size()), &written);
}

void CHttpFile::OnData(const char* data, int length) {
    if (headerOpen) {
        WriteHeaderEnd();
        headerOpen = false;
    }
    uint32_t written;
    if (file && length > 0) gOs.Write(file, data, static_cast<uint32_t>(length), &written);  // errors are not reported
}

void CHttpFile::OnComplete() {
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
