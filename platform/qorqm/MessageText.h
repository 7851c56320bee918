#pragma once
// The message text helpers and the printable rule live with the COM runtime,
// under every library (com/messagetext.h); this name stays for the code that
// includes it.
#include "com/messagetext.h"
