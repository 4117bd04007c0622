#include "sheetfile.h"

#include "musicxml.h"
#include "staffdocument.h"

#include <QGuiApplication>
#include <QIODevice>
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

    // The output file as a device that Qt's PDF and SVG writers write into as they draw.
    class OutputDevice : public QIODevice {
    public:
        OutputDevice(OutputFile& file, std::string& error)
            : mFile(file)
            , mError(error)
        {
            open(QIODevice::WriteOnly);
        }
        bool failed() const { return mFailed; }

    protected:
        qint64 writeData(const char* data, qint64 size) override
        {
            if (mFailed || !mFile.write(std::string_view(data, std::size_t(size)), mError)) {
                mFailed = true;
                return -1;
            }
            return size;
        }
        qint64 readData(char*, qint64) override { return -1; }

    private:
        OutputFile& mFile;
        std::string& mError;
        bool mFailed = false;
    };

    // A drawn sheet: the staff painted with Qt, which needs a graphical application (the
    // practice window's, or the offscreen one that TAMBRIX.EXE makes for --sheet).
    bool writeDrawn(const sheet::Sheet& sheet, OutputFile& file, std::string& error,
        const char* name, bool (*draw)(const sheet::Sheet&, QIODevice&))
    {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            error = "the sheet " + file.target().string() + ": " + name
                + " is drawn only with a graphical application";
            return false;
        }
        if (!file.open(error))
            return false;
        OutputDevice device(file, error);
        const bool drawn = draw(sheet, device);
        device.close();
        if (device.failed())
            return false;
        if (!drawn) {
            error = "the sheet " + file.target().string() + ": the " + name + " could not be drawn";
            return false;
        }
        return file.finish(error);
    }

    bool writePdf(const sheet::Sheet& sheet, OutputFile& file, std::string& error)
    {
        return writeDrawn(sheet, file, error, "PDF", staff::writePdf);
    }

    bool writeSvg(const sheet::Sheet& sheet, OutputFile& file, std::string& error)
    {
        return writeDrawn(sheet, file, error, "SVG", staff::writeSvg);
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
