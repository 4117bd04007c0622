#include "sheetfile.h"

#include "musicxml.h"
#include "staffdocument.h"

#include <QGuiApplication>
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

    // A drawn sheet: the staff painted with Qt, which needs a graphical application (the
    // practice window's, or the offscreen one that TAMBRIX.EXE makes for --sheet).
    bool writeDrawn(const sheet::Sheet& sheet, OutputFile& file, std::string& error,
        const char* name, QByteArray (*draw)(const sheet::Sheet&))
    {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            error = "the sheet " + file.target().string() + ": " + name
                + " is drawn only with a graphical application";
            return false;
        }
        const QByteArray bytes = draw(sheet);
        if (bytes.isEmpty()) {
            error = "the sheet " + file.target().string() + ": the " + name + " could not be drawn";
            return false;
        }
        return file.open(error)
            && file.write(std::string_view(bytes.constData(), std::size_t(bytes.size())), error)
            && file.finish(error);
    }

    bool writePdf(const sheet::Sheet& sheet, OutputFile& file, std::string& error)
    {
        return writeDrawn(sheet, file, error, "PDF", staff::pdfDocument);
    }

    bool writeSvg(const sheet::Sheet& sheet, OutputFile& file, std::string& error)
    {
        return writeDrawn(sheet, file, error, "SVG", staff::svgDocument);
    }

    struct Format {
        const char* extension;
        const char* name;
        bool (*write)(const sheet::Sheet&, OutputFile&, std::string&);
        bool drawn; // painted with Qt's fonts: needs a graphical application
    };

    const Format kFormats[] = {
        { ".musicxml", "MusicXML", writeMusicXml, false },
        { ".pdf", "PDF", writePdf, true },
        { ".svg", "SVG", writeSvg, true },
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
    return true;
}

bool drawnSheet(const std::string& path)
{
    const Format* format = formatOf(path);
    return format && format->drawn;
}

bool writeSheetFile(const sheet::Sheet& sheet, OutputFile& file, std::string& error)
{
    const Format* format = formatOf(file.target().string());
    if (!format)
        return checkSheetName(file.target().string(), error);
    return format->write(sheet, file, error);
}

} // namespace standin
