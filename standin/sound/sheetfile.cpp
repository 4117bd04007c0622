#include "sheetfile.h"

#include "musicxml.h"

#include <algorithm>
#include <cctype>

namespace standin {

namespace {

    bool writeMusicXml(const sheet::Sheet& sheet, OutputFile& file, std::string& error)
    {
        return file.open(error) && sheet::writeMusicXml(sheet, [&](std::string_view part) {
            return file.write(part, error);
        }) && file.finish(error);
    }

    struct Format {
        const char* extension;
        const char* name;
        bool (*write)(const sheet::Sheet&, OutputFile&, std::string&); // null: not written yet
    };

    const Format kFormats[] = {
        { ".musicxml", "MusicXML", writeMusicXml },
        { ".pdf", "PDF", nullptr },
        { ".svg", "SVG", nullptr },
    };

    const Format* formatOf(const std::string& path)
    {
        for (const Format& format : kFormats) {
            const std::string extension = format.extension;
            if (path.size() > extension.size()
                && std::equal(extension.begin(), extension.end(), path.end() - extension.size(),
                    [](char a, char b) {
                        return a == std::tolower(static_cast<unsigned char>(b));
                    }))
                return &format;
        }
        return nullptr;
    }

} // namespace

bool checkSheetName(const std::string& path, std::string& error)
{
    const Format* format = formatOf(path);
    if (!format) {
        std::string names;
        for (const Format& f : kFormats)
            names += std::string(names.empty()              ? ""
                             : &f == std::end(kFormats) - 1 ? " or "
                                                            : ", ")
                + f.extension;
        error = "the sheet " + path + " must be named with " + names;
        return false;
    }
    if (!format->write) {
        error = "the sheet " + path + ": " + format->name
            + " sheets are not written yet; name a .musicxml file";
        return false;
    }
    return true;
}

bool writeSheetFile(const sheet::Sheet& sheet, OutputFile& file, std::string& error)
{
    const Format* format = formatOf(file.target().string());
    if (!format || !format->write)
        return checkSheetName(file.target().string(), error);
    return format->write(sheet, file, error);
}

} // namespace standin
