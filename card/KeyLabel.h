#pragma once

#include <cstddef>

// Name of the key label file in the configuration directory.
constexpr const char* KEY_LABEL_FILE = "Client.conf";
// Size of the buffers the key label is read into.
constexpr size_t KEY_LABEL_SIZE = 60;
// Only this much of the key label file is read: the label sits at its start.
constexpr size_t KEY_LABEL_FILE_MAX = 1024 * 1024;

// Reads the key label: the bytes between the first "<KeyLabel>" and the first
// "</KeyLabel>" after it in the key label file. Copies at most nSize - 1 of
// them into pBuf, which the caller has zero-filled, and returns 0. Returns -1,
// leaving pBuf untouched, when the file cannot be read or a tag is missing.
int readKeyLabel(char* pBuf, size_t nSize);
