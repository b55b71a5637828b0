#include "BroadcastWave.h"

namespace qv::test {

namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void chunk(std::vector<std::uint8_t>& out, const char* id, const std::vector<std::uint8_t>& data)
{
    out.insert(out.end(), id, id + 4);
    put32(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() % 2)
        out.push_back(0);
}

}  // namespace

std::vector<std::uint8_t> broadcastWave(int sampleRate, int frames, std::int16_t left, std::int16_t right,
                                        std::uint64_t timeReference, const std::string& ixml)
{
    std::vector<std::uint8_t> format;
    put16(format, 1);  // PCM
    put16(format, 2);
    put32(format, static_cast<std::uint32_t>(sampleRate));
    put32(format, static_cast<std::uint32_t>(sampleRate * 4));
    put16(format, 4);
    put16(format, 16);

    std::vector<std::uint8_t> bext(602, 0);
    for (int i = 0; i < 8; ++i)
        bext[338 + i] = static_cast<std::uint8_t>(timeReference >> (8 * i));

    std::vector<std::uint8_t> ixmlData(ixml.begin(), ixml.end());
    ixmlData.push_back(0);

    std::vector<std::uint8_t> samples;
    for (int i = 0; i < frames; ++i) {
        put16(samples, static_cast<std::uint16_t>(left));
        put16(samples, static_cast<std::uint16_t>(right));
    }

    std::vector<std::uint8_t> body;
    body.insert(body.end(), {'W', 'A', 'V', 'E'});
    chunk(body, "fmt ", format);
    chunk(body, "bext", bext);
    chunk(body, "iXML", ixmlData);
    chunk(body, "data", samples);

    std::vector<std::uint8_t> file{'R', 'I', 'F', 'F'};
    put32(file, static_cast<std::uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

}  // namespace qv::test
