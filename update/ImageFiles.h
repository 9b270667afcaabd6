#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "update/GuardedWindow.h"
#include "update/ImageReader.h"
#include "update/ImageRecords.h"

// Image file names.
inline constexpr const char* kDspImageName = "dsp.hex";
inline constexpr const char* kMcuOldImageName = "mcu_old.mot";
inline constexpr const char* kMcuNewImageName = "mcu_new.mot";

// Where images are looked up. Empty (the default) means the directory of the
// running executable; tests and the headless front end set another one.
void SetImageDirectory(std::string directory);
// The directory in use, ending in '/'.
std::string ImageDirectory();

// Composes ImagePath (Shared()) from the image directory and `name`, whether or not
// the file exists, and returns whether an entry of that name exists there (a
// directory named like the image counts as found; the count then refuses it).
bool ImageFileExists(const std::string& name);

// The log lines of a path in the order they are logged: a path of more than 50
// characters goes in 50-character pieces, later piece first (the log shows the
// newest line on top, so the path reads in order), at most three pieces.
std::vector<std::string> ImagePathLogLines(std::string_view path);

// The two image formats.
enum class ImageKind { Dsp, Mcu };

// The three images in the order they are listed, each with its format.
struct ImageName {
    const char* name;
    ImageKind kind;
};
inline constexpr ImageName kImageNames[] = {
    {kDspImageName, ImageKind::Dsp},
    {kMcuOldImageName, ImageKind::Mcu},
    {kMcuNewImageName, ImageKind::Mcu},
};
// OperationMode 1 is the MCU, anything else the DSP.
ImageKind ImageKindForMode(int32_t mode);

// One pass over an image: every line is checked before it is handed out, so a
// line that could not be counted is never sent either.
class ImagePass {
  public:
    enum class Next { Line, End, Fault };

    explicit ImagePass(ImageKind kind) : m_kind(kind), m_reader(kMaxImageLineLength) {}

    bool Open(const std::string& path);
    void Close() { m_reader.Close(); }
    Next NextLine(std::string& line);
    // Whether `line` is a block of this image (every dsp.hex line is).
    bool IsBlock(std::string_view line) const;
    // Whether the block `line` is the checkpoint record the flash is verified at.
    bool IsCheckpoint(std::string_view line) const;
    // A log line that says what was wrong, after NextLine gave Fault.
    std::string FaultText() const;

  private:
    ImageKind m_kind;
    ImageReader m_reader;
    uint32_t m_lineNumber = 0;
    LineFault m_fault = LineFault::None;
    bool m_readError = false;
};

// What one pass over a whole image found, exactly as an update's count sees it.
struct ImageCheck {
    bool opened = false;
    bool stopped = false;    // `stopped` said so before the end
    bool readToEnd = false;  // every line was read (no line fault ended the pass)
    uint32_t blocks = 0;
    bool hasCheckpoint = false;
    // Why the image cannot be sent (a line naming the fault); empty when it can.
    std::string refusal;
};

// Reads the image at `path` once: every line checked, blocks counted, the
// checkpoint looked for. An image without any block is refused too.
ImageCheck CheckImage(const std::string& path, ImageKind kind,
                      const std::function<bool()>& stopped = {});

// Why an update would refuse the checked image, also when verification is required
// and it has no checkpoint record; empty when it would take it.
std::string ImageRefusal(const ImageCheck& check, bool requireCheckpoint);

inline constexpr const char* kImageRefusedLine = "Image file refused, nothing was sent.";
inline constexpr const char* kNoCheckpointLine =
    "No checkpoint record: the flash will not be verified.";

// Logs ImagePath, counts the blocks of the image into TotalBlocks and logs
// "Total blocks:" with the count, then resets the written count and percentage.
// An image without a checkpoint record is logged as not to be verified, and
// refused when `requireCheckpoint`. Returns false, with log lines, when the image
// cannot be opened or cannot be an update; nothing has been sent to the device then
// and the update must end. Also false, silently, when a stop is requested.
bool CountImageBlocks(GuardedWindow& window, bool requireCheckpoint = false);
