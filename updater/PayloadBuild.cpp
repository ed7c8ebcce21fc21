// The publisher's side of the container, apart from the reader: a program that only reads
// payloads (the updater) links neither this object nor, through it, the encoder.

#include "GsLZSS.h"
#include "PayloadContainer.h"

#include <memory>

bool BuildPayload(const unsigned char* executable, std::size_t size, unsigned char mask,
                  std::vector<unsigned char>& container)
{
    container.clear();
    if (executable == nullptr || size == 0 || size > PAYLOAD_MAX_EXPANDED)
    {
        return false;
    }
    const int sourceLength = static_cast<int>(size);
    const int capacity = CGsLZSS::MaxEncodedSize(sourceLength);
    std::vector<unsigned char> out(PAYLOAD_HEADER_SIZE + static_cast<std::size_t>(capacity));
    auto codec = std::make_unique<CGsLZSS>();
    const int bodyLength =
        codec->Encode(executable, out.data() + PAYLOAD_HEADER_SIZE, sourceLength, capacity);
    if (bodyLength < 0)
    {
        return false;
    }
    Unscramble(out.data() + PAYLOAD_HEADER_SIZE, bodyLength, mask);

    PayloadHeader header = {};
    header.compressedLength = static_cast<std::uint32_t>(bodyLength);
    header.mask = mask;
    header.expandedLength = static_cast<std::uint32_t>(size);
    WritePayloadHeader(header, out.data());
    out.resize(PAYLOAD_HEADER_SIZE + static_cast<std::size_t>(bodyLength));
    container.swap(out);
    return true;
}
