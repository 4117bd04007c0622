#include "midifilewriter.h"

#include "midifile.h"

namespace standin {

bool writeMidiFile(const Performance& performance, OutputFile& file, std::string& error)
{
    const std::vector<std::uint8_t> bytes = midiFileBytes(performance);
    return file.open(error)
        && file.write({ reinterpret_cast<const char*>(bytes.data()), bytes.size() }, error)
        && file.finish(error);
}

bool writeMidiFile(
    const Performance& performance, const std::filesystem::path& path, std::string& error)
{
    OutputFile file(path);
    return writeMidiFile(performance, file, error) && file.commit(error);
}

} // namespace standin
