// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// saving.dat as the desktop program has always written it, built here byte
// by byte rather than by the code under test: 32 records of 1348 bytes
// (name, folder and URL of 260 bytes each at 0, 260, 520; priority and
// change frequency as 32-bit little-endian numbers at 780 and 784), unused
// slots as a fresh table leaves them, every 0x0A stored as CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace larkspur::test {

constexpr std::size_t kImageRecordSize = 1348;
constexpr int kImageSlots = 32;

struct StoredProject {
    std::string name, localPath, websiteUrl;
    std::int32_t priorityIndex = 6;
    std::int32_t frequencyIndex = 3;
};

// The file, or with `crlf` false the record image before its LF bytes
// become CR LF.
inline std::string SavingFileImage(const std::vector<StoredProject>& projects, bool crlf = true)
{
    std::string image(kImageRecordSize * kImageSlots, '\0');
    auto putInt = [&](std::size_t at, std::int32_t value) {
        for (int i = 0; i < 4; ++i)
            image[at + i] = static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF);
    };
    for (int slot = 0; slot < kImageSlots; ++slot) {
        const std::size_t at = slot * kImageRecordSize;
        const StoredProject p = slot < static_cast<int>(projects.size()) ? projects[slot] : StoredProject{};
        image.replace(at, p.name.size(), p.name);
        image.replace(at + 260, p.localPath.size(), p.localPath);
        image.replace(at + 520, p.websiteUrl.size(), p.websiteUrl);
        putInt(at + 780, p.priorityIndex);
        putInt(at + 784, p.frequencyIndex);
    }
    std::string file;
    for (const char c : image)
        file += crlf && c == '\n' ? "\r\n" : std::string(1, c);
    return file;
}

// The image of a file, its CR LF pairs turned back into LF.
inline std::string RecordImage(const std::string& file)
{
    std::string image;
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n')
            continue;
        image += file[i];
    }
    return image;
}

inline std::string TextAt(const std::string& image, std::size_t offset)
{
    const std::string field = image.substr(offset, 260);
    return field.substr(0, field.find('\0'));
}

inline std::int32_t IntAt(const std::string& image, std::size_t offset)
{
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(image[offset + i])) << (8 * i);
    return static_cast<std::int32_t>(bits);
}

}  // namespace larkspur::test
