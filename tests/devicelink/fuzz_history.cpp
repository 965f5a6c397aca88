// Arbitrary bytes as a line of the history file: a line it accepts as an
// entry comes back the same through lineOf, so what is read is what a later
// write would record; anything else is refused, never a crash.
#include "history.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    history::Entry entry;
    if (!history::parseLine(QByteArray(reinterpret_cast<const char *>(data), int(size)), entry))
        return 0;
    const QByteArray line = history::lineOf(entry);
    history::Entry again;
    if (!history::parseLine(line, again) || history::lineOf(again) != line)
        std::abort();
    return 0;
}

#ifdef ORVANTA_FUZZ_REPLAY
#include "fuzzreplay.h"
#endif
