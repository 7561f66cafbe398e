// Stored passwords are scrambled byte by byte with kPasswordKey (TextHelpers.h). A password
// that holds the key byte itself would end at that byte once scrambled, so what was stored
// would differ from what was typed: the password boxes refuse such a password.
#pragma once

bool IsStorablePassword(const char *password);
// The message of the refusal.
extern const char kUnstorablePasswordText[];
