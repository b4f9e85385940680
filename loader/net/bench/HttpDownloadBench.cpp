// Throughput of CHttpDownloader: downloads URL to FILE with the given read sizes and prints
// MB/s for each. Run by bench/http_download.sh against the test imaging server.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "HttpDownloader.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: http_download_bench URL FILE READSIZE...\n");
        return 2;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int i = 3; i < argc; ++i) {
        CHttpDownloader downloader;
        downloader.m_strURL = argv[1];
        downloader.m_strLocalFilePath = argv[2];
        downloader.m_dwReadBufferSize = static_cast<uint32_t>(strtoul(argv[i], nullptr, 10));
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        int result = downloader.Download();
        QueryPerformanceCounter(&end);
        double seconds = static_cast<double>(end.QuadPart - start.QuadPart) /
                         static_cast<double>(frequency.QuadPart);
        if (result != 0) {
            fprintf(stderr, "download failed (%d): %s\n", result,
                    downloader.m_strLastError.c_str());
            return 1;
        }
        printf("CHttpDownloader, %6u-byte reads: %8.1f MB/s (%lld bytes in %.2f s)\n",
               downloader.m_dwReadBufferSize,
               static_cast<double>(downloader.m_nBytesReceived) / seconds / 1e6,
               static_cast<long long>(downloader.m_nBytesReceived), seconds);
        DeleteFileA(argv[2]);
    }
    return 0;
}
