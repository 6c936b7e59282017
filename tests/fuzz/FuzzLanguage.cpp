// The language files: any bytes as a language file, then the labels read
// from it as the window reads them.

#include <QString>

#include "FuzzSupport.h"
#include "ProfileString.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString file = QString::fromStdString(zem::fuzz::WriteInput(data, size, ".ini"));
    for (const char* section : {"Language", "LANGUAGE", ""}) {
        for (const char* key : {"Add File", "Convert", "", "[x]"}) {
            const auto value = zem::os::ReadProfileString(file, QString::fromLatin1(section), QString::fromLatin1(key));
            // A value is what stands on one line after its key.
            if (value && (value->contains(QLatin1Char('\n')) || qsizetype(value->size()) > qsizetype(size)))
                __builtin_trap();
        }
    }
    return 0;
}
