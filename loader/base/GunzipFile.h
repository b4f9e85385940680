// Unpacking a gzip file (RFC 1952) into a plain file.
#pragma once

constexpr int kGunzipReadSize = 400000;

// 0 on success, -1 when reading the compressed data or writing the target failed (the
// unfinished target is removed), -2 on an exception, -3 when the source or the target
// cannot be opened. A source that is not gzip data is copied unchanged.
int GunzipFile(const char* sourcePath, const char* targetPath);
