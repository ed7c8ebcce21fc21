#pragma once

#include "PayloadDigest.h"

#include <windows.h>

#include <vector>

// Copies resource "BIN" 107 of `module`, expands it (checking the container throughout, see
// ExpandPayload) and compares the SHA-256 of the result with the digest that resource "BIN"
// 108 carries. 1 on success, with `executable` and `digest` filled; 0, with `executable`
// empty, when either resource is missing or damaged or the digests differ: a changed byte
// inside the body can still decode to a file of exactly the right length.
int LoadPayload(HMODULE module, std::vector<unsigned char>& executable, PayloadDigest& digest);
