// The table and calibration file readers and their pre-flight checks, and
// the poll list: whatever a file holds.
#include "cal_file.h"
#include "cal_flatten.h"
#include "line_reader.h"
#include "poll_list.h"
#include "table_file.h"

#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const plovan::table::Layout& layout : plovan::table::kLayouts) {
        std::istringstream in(text);
        for (const plovan::table::Finding& f : plovan::table::check(in, layout, 3))
            (void)plovan::table::describe(f);
        (void)plovan::table::recordCount(text, layout);
        (void)plovan::table::headerLine(text, layout);
    }
    (void)plovan::image::serialRecord(text);
    (void)plovan::table::usbRecord(text, 38);
    std::istringstream cal(text);
    const plovan::CalRead read = plovan::readCalTable(cal);
    for (const plovan::CalRow& row : read.rows)
        (void)row.hex();
    for (bool db : {false, true}) {
        std::istringstream csv(text);
        const plovan::flatten::ResponseRead response = plovan::flatten::readResponse(csv, db);
        if (!response.findings.empty()) continue;
        plovan::flatten::Target target;
        target.shape = response.response;
        for (auto kind : {plovan::flatten::Target::Max, plovan::flatten::Target::Shape}) {
            target.kind = kind;
            if (kind == plovan::flatten::Target::Shape && !plovan::flatten::shapeFindings(target.shape).empty())
                continue;
            const auto plan = plovan::flatten::flatten(read.rows, response.response, target);
            (void)plovan::flatten::summary(plan, target);
        }
    }
    std::istringstream lut(text);
    for (const plovan::table::Finding& f : plovan::table::checkLut(lut, 3))
        (void)plovan::table::describe(f);
    std::istringstream lines(text);
    plovan::LineReader reader(lines);
    while (reader.next()) {
    }
    const plovan::PollList poll = plovan::parsePollList(text);
    (void)plovan::describeProblems(poll.problems);
    return 0;
}
