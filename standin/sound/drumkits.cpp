#include "drumkits.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace standin {

namespace {

    constexpr int kPercussionBank = 128;
    constexpr int kInstrumentGenerator = 41; // a preset zone's instrument
    constexpr std::uint64_t kLargestHeaders = 64 << 20; // a "pdta" list beyond this is not read

    std::uint32_t le(const char* p, int size)
    {
        std::uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i)
            value = value << 8 | std::uint8_t(p[i]);
        return value;
    }

    void putLe(std::string& bytes, std::uint32_t value, int size)
    {
        for (int i = 0; i < size; ++i)
            bytes.push_back(char(value >> (8 * i) & 0xFF));
    }

    void setLe(std::string& bytes, std::size_t at, std::uint32_t value, int size)
    {
        for (int i = 0; i < size; ++i)
            bytes[at + std::size_t(i)] = char(value >> (8 * i) & 0xFF);
    }

    // One of the nine tables of the headers, as records of a fixed size (the last one the
    // table's terminal record).
    struct Table {
        const char* id;
        std::size_t record;
        std::string bytes;
        std::size_t count() const { return bytes.size() / record; }
        const char* at(std::size_t i) const { return bytes.data() + i * record; }
    };

    enum { Phdr, Pbag, Pmod, Pgen, Inst, Ibag, Imod, Igen, Shdr, kTables };

    std::array<Table, kTables> emptyTables()
    {
        return { { { "phdr", 38, {} }, { "pbag", 4, {} }, { "pmod", 10, {} }, { "pgen", 4, {} },
            { "inst", 22, {} }, { "ibag", 4, {} }, { "imod", 10, {} }, { "igen", 4, {} },
            { "shdr", 46, {} } } };
    }

    // The tables of a "pdta" list's contents; false when one is missing or malformed.
    bool readTables(const std::string& list, std::array<Table, kTables>& tables)
    {
        for (std::size_t at = 0; at + 8 <= list.size();) {
            const std::uint32_t size = le(list.data() + at + 4, 4);
            if (size > list.size() - at - 8)
                return false;
            for (Table& t : tables)
                if (!std::memcmp(list.data() + at, t.id, 4))
                    t.bytes = list.substr(at + 8, size);
            at += 8 + size + (size & 1);
        }
        for (const Table& t : tables)
            if (t.bytes.empty() || t.bytes.size() % t.record != 0)
                return false;
        return true;
    }

    // The zones [first, last) of a preset or instrument, with their generators and modulators,
    // appended to the new tables; each generator through mapGenerator.
    template <typename Map>
    bool copyZones(const std::array<Table, kTables>& in, std::array<Table, kTables>& out, int bag,
        int mod, int gen, std::size_t first, std::size_t last, Map mapGenerator)
    {
        if (last < first || last >= in[bag].count())
            return false;
        for (std::size_t z = first; z < last; ++z) {
            const std::size_t gens = le(in[bag].at(z), 2), gensEnd = le(in[bag].at(z + 1), 2);
            const std::size_t mods = le(in[bag].at(z) + 2, 2),
                              modsEnd = le(in[bag].at(z + 1) + 2, 2);
            if (gensEnd < gens || gensEnd >= in[gen].count() || modsEnd < mods
                || modsEnd >= in[mod].count())
                return false;
            putLe(out[bag].bytes, std::uint32_t(out[gen].count()), 2);
            putLe(out[bag].bytes, std::uint32_t(out[mod].count()), 2);
            for (std::size_t g = gens; g < gensEnd; ++g) {
                std::string record(in[gen].at(g), in[gen].record);
                if (!mapGenerator(record))
                    return false;
                out[gen].bytes += record;
            }
            out[mod].bytes.append(in[mod].at(mods), (modsEnd - mods) * in[mod].record);
        }
        return true;
    }

    // The terminal records: a bag that points past the last generator and modulator, and a
    // zeroed generator and modulator.
    void closeZones(std::array<Table, kTables>& out, int bag, int mod, int gen)
    {
        putLe(out[bag].bytes, std::uint32_t(out[gen].count()), 2);
        putLe(out[bag].bytes, std::uint32_t(out[mod].count()), 2);
        out[gen].bytes.append(out[gen].record, '\0');
        out[mod].bytes.append(out[mod].record, '\0');
    }

    bool filter(const std::array<Table, kTables>& in, std::array<Table, kTables>& out)
    {
        std::map<std::uint32_t, std::uint32_t> instruments; // old index to new, in old order
        std::vector<std::size_t> kits;
        for (std::size_t p = 0; p + 1 < in[Phdr].count(); ++p) {
            if (le(in[Phdr].at(p) + 22, 2) != kPercussionBank)
                continue;
            kits.push_back(p);
            const std::size_t first = le(in[Phdr].at(p) + 24, 2),
                              last = le(in[Phdr].at(p + 1) + 24, 2);
            for (std::size_t z = first; z < last && z + 1 < in[Pbag].count(); ++z)
                for (std::size_t g = le(in[Pbag].at(z), 2);
                     g < le(in[Pbag].at(z + 1), 2) && g < in[Pgen].count(); ++g)
                    if (le(in[Pgen].at(g), 2) == kInstrumentGenerator)
                        instruments[le(in[Pgen].at(g) + 2, 2)] = 0;
        }
        if (kits.empty())
            return false;
        std::uint32_t next = 0;
        for (auto& [old, renumbered] : instruments) {
            if (old + 1 >= in[Inst].count())
                return false;
            renumbered = next++;
        }

        for (std::size_t p : kits) {
            std::string record(in[Phdr].at(p), in[Phdr].record);
            setLe(record, 24, std::uint32_t(out[Pbag].count()), 2);
            out[Phdr].bytes += record;
            const bool copied = copyZones(in, out, Pbag, Pmod, Pgen, le(in[Phdr].at(p) + 24, 2),
                le(in[Phdr].at(p + 1) + 24, 2), [&](std::string& gen) {
                    if (le(gen.data(), 2) == kInstrumentGenerator)
                        setLe(gen, 2, instruments.at(le(gen.data() + 2, 2)), 2);
                    return true;
                });
            if (!copied)
                return false;
        }
        std::string end(in[Phdr].at(in[Phdr].count() - 1), in[Phdr].record);
        setLe(end, 24, std::uint32_t(out[Pbag].count()), 2);
        out[Phdr].bytes += end;
        closeZones(out, Pbag, Pmod, Pgen);

        for (const auto& [old, renumbered] : instruments) {
            std::string record(in[Inst].at(old), in[Inst].record);
            setLe(record, 20, std::uint32_t(out[Ibag].count()), 2);
            out[Inst].bytes += record;
            if (!copyZones(in, out, Ibag, Imod, Igen, le(in[Inst].at(old) + 20, 2),
                    le(in[Inst].at(old + 1) + 20, 2), [](std::string&) { return true; }))
                return false;
        }
        std::string last(in[Inst].at(in[Inst].count() - 1), in[Inst].record);
        setLe(last, 20, std::uint32_t(out[Ibag].count()), 2);
        out[Inst].bytes += last;
        closeZones(out, Ibag, Imod, Igen);
        out[Shdr].bytes = in[Shdr].bytes; // every sample, so that no sample number changes
        return true;
    }

} // namespace

bool readDrumKitHeaders(const std::string& file, DrumKitHeaders& headers)
{
    std::ifstream in(file, std::ios::binary);
    char top[12];
    if (!in.read(top, 12) || std::memcmp(top, "RIFF", 4) || std::memcmp(top + 8, "sfbk", 4))
        return false;
    in.seekg(0, std::ios::end);
    headers.fileSize = std::uint64_t(in.tellg());
    if (le(top + 4, 4) + 8ULL != headers.fileSize)
        return false;
    std::string list;
    for (std::uint64_t at = 12; at + 12 <= headers.fileSize;) {
        char chunk[12];
        in.seekg(std::streamoff(at));
        if (!in.read(chunk, 12))
            return false;
        const std::uint64_t size = le(chunk + 4, 4);
        if (!std::memcmp(chunk, "LIST", 4) && !std::memcmp(chunk + 8, "pdta", 4)) {
            if (size < 4 || size > kLargestHeaders || at + 8 + size > headers.fileSize)
                return false;
            list.resize(size - 4);
            if (!in.read(list.data(), std::streamsize(list.size())))
                return false;
            headers.offset = at;
            headers.size = 8 + size;
            break;
        }
        at += 8 + size + (size & 1);
    }
    std::array<Table, kTables> tables = emptyTables();
    std::array<Table, kTables> kept = emptyTables();
    if (list.empty() || !readTables(list, tables) || !filter(tables, kept))
        return false;
    headers.list = "LIST    pdta";
    for (const Table& t : kept) {
        headers.list.append(t.id, 4);
        putLe(headers.list, std::uint32_t(t.bytes.size()), 4);
        headers.list += t.bytes;
    }
    setLe(headers.list, 4, std::uint32_t(headers.list.size() - 8), 4);
    return true;
}

namespace {

    // The file as FluidSynth reads it: the original bytes, with the drum kits' headers in place
    // of the whole headers and the RIFF size to match. The headers are worked out once a file.
    struct KitFile {
        std::FILE* file = nullptr;
        std::shared_ptr<const DrumKitHeaders> headers; // null: the file as it is
        std::string riff; // the first 8 bytes
        std::uint64_t size = 0;
        std::uint64_t at = 0;

        // Reads [at, at + count) of the virtual file.
        bool read(char* out, std::uint64_t count)
        {
            if (count > size || at > size - count)
                return false;
            while (count > 0) {
                std::uint64_t n = count;
                if (headers && at < 8) {
                    n = std::min(n, 8 - at);
                    std::memcpy(out, riff.data() + at, n);
                } else if (headers && at >= headers->offset
                    && at < headers->offset + headers->list.size()) {
                    n = std::min(n, headers->offset + headers->list.size() - at);
                    std::memcpy(out, headers->list.data() + (at - headers->offset), n);
                } else {
                    // Original bytes: before the headers as they are, after them shifted.
                    std::uint64_t from = at;
                    if (headers && at < headers->offset)
                        n = std::min(n, headers->offset - at);
                    else if (headers)
                        from = at - headers->list.size() + headers->size;
                    if (std::fseek(file, long(from), SEEK_SET) != 0
                        || std::fread(out, 1, std::size_t(n), file) != n)
                        return false;
                }
                out += n;
                at += n;
                count -= n;
            }
            return true;
        }
    };

    std::mutex cacheMutex;
    std::map<std::string, std::shared_ptr<const DrumKitHeaders>> cache;

    void* openKitFile(const char* name)
    {
        std::FILE* file = std::fopen(name, "rb");
        if (!file)
            return nullptr;
        auto kit = std::make_unique<KitFile>();
        kit->file = file;
        {
            std::lock_guard lock(cacheMutex);
            auto found = cache.find(name);
            if (found == cache.end()) {
                auto headers = std::make_shared<DrumKitHeaders>();
                found = cache.emplace(name, readDrumKitHeaders(name, *headers) ? headers : nullptr)
                            .first;
            }
            kit->headers = found->second;
        }
        if (kit->headers) {
            kit->size = kit->headers->fileSize - kit->headers->size + kit->headers->list.size();
            kit->riff = "RIFF";
            putLe(kit->riff, std::uint32_t(kit->size - 8), 4);
        } else {
            std::fseek(file, 0, SEEK_END);
            kit->size = std::uint64_t(std::ftell(file));
        }
        return kit.release();
    }

    int readKitFile(void* buffer, fluid_long_long_t count, void* handle)
    {
        return count >= 0
                && static_cast<KitFile*>(handle)->read(
                    static_cast<char*>(buffer), std::uint64_t(count))
            ? FLUID_OK
            : FLUID_FAILED;
    }

    int seekKitFile(void* handle, fluid_long_long_t offset, int origin)
    {
        auto* kit = static_cast<KitFile*>(handle);
        const long long base = origin == SEEK_CUR ? (long long)(kit->at)
            : origin == SEEK_END                  ? (long long)(kit->size)
                                                  : 0;
        if (base + offset < 0 || std::uint64_t(base + offset) > kit->size)
            return FLUID_FAILED;
        kit->at = std::uint64_t(base + offset);
        return FLUID_OK;
    }

    fluid_long_long_t tellKitFile(void* handle)
    {
        return fluid_long_long_t(static_cast<KitFile*>(handle)->at);
    }

    int closeKitFile(void* handle)
    {
        auto* kit = static_cast<KitFile*>(handle);
        std::fclose(kit->file);
        delete kit;
        return FLUID_OK;
    }

} // namespace

void readDrumKitsOnly(fluid_synth_t* synth, fluid_settings_t* settings)
{
    fluid_sfloader_t* loader = new_fluid_defsfloader(settings);
    if (!loader)
        return;
    fluid_sfloader_set_callbacks(
        loader, openKitFile, readKitFile, seekKitFile, tellKitFile, closeKitFile);
    fluid_synth_add_sfloader(synth, loader); // tried before the loader that reads files whole
}

} // namespace standin
