// Download of one file for the update session, with a progress line in the loader window.
#pragma once

#include <string>

#include "HttpDownloader.h"

class CSkiffThread;

class MyFileDownloader : public CHttpDownloader {
public:
    static constexpr uint32_t kReadSize = 65536;

    // The file is written to localPath; the progress line names shownPath (the file the
    // download is for, when localPath is a temporary name), or localPath when empty.
    MyFileDownloader(CSkiffThread* owner, const std::string& url, const std::string& localPath,
                     const std::string& shownPath = std::string());

    // "Updating <file> (<n> KB)" once at the start and then at most once per 100 KB.
    int OnProgress(uint32_t bytesThisRead, uint64_t bytesThisResponse, bool lengthKnown,
                   uint64_t expectedTotal) override;
    // The downloader's flags without cookies: the product uses none, and Wine looks each
    // request's cookies up in its URL cache at the cost of dozens of server calls.
    DWORD GetRequestFlags() override;

private:
    CSkiffThread* m_pOwner;
    std::string m_strShownPath;
    double m_dLastReported = -1.0;
};
