#include "support/ConvertSupport.h"

#include <filesystem>
#include <stdexcept>

#include "job/VarnholdU.h"
#include "support/MidiText.h"

namespace varnhold::test {

std::vector<std::string> ConvertLog(const tools::TS98Builder& Log, const TTempDir& Dir,
                                    const std::string& Name) {
    std::filesystem::create_directories(Dir.File("bin"));
    Log.Save(Dir.File(Name + ".s98"));
    TVarnhold Job;
    Job.ProgramFile = Dir.File("bin/varnhold"); // no debug.txt beside it
    if (!Job.Convert(Dir.File(Name + ".s98")))
        throw std::runtime_error(Name + ".s98 was rejected: " + Job.ResultText);
    return MidiFileLines(Dir.File(Name + ".mid"));
}

std::vector<std::string> EventsAfterDefaultStart(const std::vector<std::string>& Lines) {
    const std::vector<std::string> Start = DefaultFileStartLines();
    if (Lines.size() < Start.size() || !std::equal(Start.begin(), Start.end(), Lines.begin()))
        throw std::runtime_error("the file does not begin with the default tick-0 set-up");
    return {Lines.begin() + static_cast<std::ptrdiff_t>(Start.size()), Lines.end()};
}

} // namespace varnhold::test
