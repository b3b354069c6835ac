// Fuzz entry for the network-settings reply reader: the reply comes from whatever answers on
// the printer's bulk pipe.
#include "NetSettingsCodec.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so any read past the end hits the sanitizer's red zone.
    std::unique_ptr<unsigned char[]> pBuf(new unsigned char[size ? size : 1]);
    if (size)
        std::memcpy(pBuf.get(), data, size);
    const int iLength = int(size);

    if (NetSettingsCodec::Deframe(pBuf.get(), iLength).size() > iLength)
        std::abort();
    stIPInfo info;
    if (!NetSettingsCodec::ParseRecvData(pBuf.get(), iLength, info))
        return 0;
    // An accepted reply leaves nothing on the page that a write would refuse.
    for (int i = 0; i < 7; ++i) {
        const QString& strAddress = *IPInfoAddress(info, i);
        if (!strAddress.isEmpty() && !IsIPValid(strAddress))
            std::abort();
    }
    if ((info.iPrimarySet != 0 && info.iPrimarySet != 1) || (info.iIPSource != 0 && info.iIPSource != 1))
        std::abort();
    return 0;
}
