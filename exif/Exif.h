#pragma once
// The EXIF reader: a fixed set of values from the EXIF block of a picture
// (JPEG, TIFF-based RAW, RAF, HEIF/AVIF, CR3) and the dates a movie keeps
// of its own (QuickTime/MP4, AVI), read with a few positioned reads (never
// the whole file). Portable; the Windows file access lives in
// ExifFile_win.cpp, the walkers of the containers in files of their own.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

// A file opened for reading, read at absolute positions.
class IReadFile {
public:
    virtual ~IReadFile() = default;
    // Reads up to n bytes at offset into dst and returns how many were read;
    // fewer than n only at the end of the file. An I/O error is thrown as
    // std::runtime_error with the platform's text.
    virtual size_t ReadAt(uint64_t offset, void* dst, size_t n) = 0;
};

// A file held in memory (tests, fuzzing, callers that already have the bytes).
class TMemoryReadFile : public IReadFile {
public:
    explicit TMemoryReadFile(std::string bytes) : bytes_(std::move(bytes)) {}
    size_t ReadAt(uint64_t offset, void* dst, size_t n) override;

private:
    std::string bytes_;
};

// The text of the I/O error raised when a structure ends past the file's end.
extern const char* const kReadBeyondEndOfFile;

class TExifStream;
class TExifBlocks;

class TExif {
public:
    std::string ImageDescription;
    std::string Make;
    std::string Model;
    uint8_t Orientation = 0;
    std::string OrientationText;
    std::string Copyright;
    bool HasExif = false;
    std::string DateTime;
    std::string DateTimeOriginal;
    std::string DateTimeDigitized;
    std::string UserComment;
    std::string ExposureTime;
    std::string FNumber;
    std::string ShutterSpeed;
    std::string Aperture;
    std::string MaxAperture;
    uint8_t ExposureProgram = 0;
    std::string ExposureProgramText;
    int32_t PixelXDimension = 0;
    int32_t PixelYDimension = 0;
    int32_t XResolution = 0;
    int32_t YResolution = 0;
    uint8_t MeteringMode = 0;
    std::string MeteringModeText;
    uint8_t LightSource = 0;
    std::string LightSourceText;
    uint8_t Flash = 0;
    std::string FlashText;
    uint16_t ISOSpeed = 0;
    std::string Software;
    std::string Artist;
    std::string CompressedBitsPerPixel;
    // A movie's own dates, for files without an EXIF date: the creation time
    // of the QuickTime/MP4 movie header (seconds since 1904 as stored; 0 when
    // none) with the clip's duration in milliseconds (0 when unknown), and
    // the date text the clip keeps (QuickTime's
    // com.apple.quicktime.creationdate, AVI's IDIT), as stored.
    uint64_t MovieCreated = 0;
    uint64_t MovieDurationMs = 0;
    std::string CreationDate;

    // Clears every field, then fills them from the file. A part of the file
    // that cannot be read (a TIFF block, a box) is skipped and the others
    // still count. Throws std::runtime_error when the file cannot be read,
    // or when a part could not be read and the file gave no date (no
    // digitized date, no movie date); fields filled before keep their values.
    void ReadFromFile(IReadFile& file);
#ifdef _WIN32
    // Opens the named file (UTF-8 path) read-only and reads it as above. A
    // file that does not exist leaves every field as it was, without error.
    void ReadFromFile(const std::string& FileName);
#endif

    // Names of enumerated values, as the fields' texts show them.
    static std::string OrientationName(uint32_t v);
    static std::string ExposureProgramName(uint32_t v);
    static std::string MeteringModeName(uint32_t v);
    static std::string LightSourceName(uint32_t v);
    static std::string FlashName(uint32_t v);

private:
    friend class TExifBlocks;

    struct TEntry {
        uint16_t tag = 0;
        uint16_t type = 0;
        uint32_t count = 0;
        uint32_t value = 0;   // the value field in host order, see ReadEntry
        uint8_t raw[4] = {};  // the value field as stored
    };

    void Clear();
    void WalkTiff(TExifStream& s, uint64_t base, bool exifDirectory);
    TEntry ReadEntry(TExifStream& s);
    std::string ReadText(TExifStream& s, uint64_t position, const TEntry& e);
    int32_t ReadLong(TExifStream& s, uint64_t position);
    float ReadRational(TExifStream& s, uint64_t position);
    std::string ReadRationalText(TExifStream& s, uint64_t position, bool decimal);
    uint32_t ToHost32(const uint8_t* p) const;
    uint16_t ToHost16(const uint8_t* p) const;

    uint32_t ExifOffset = 0;
    bool Motorola = false;
};
