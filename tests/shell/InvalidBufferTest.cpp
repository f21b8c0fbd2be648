#include "RecordingPrompter.h"
#include "shell/ScanGames.h"
#include "net/UdpEndpoint.h"

#include <gtest/gtest.h>

namespace vantry {
namespace {

TEST(MainWindowEndpoint, EmptySendShowsTheInvalidBufferBoxAndThenTheStandardError)
{
    test::RecordingPrompter boxes;
    TForm1 form(TForm1::Options{0, nullptr});
    // A send of nothing is a programming fault; the handler that made it ends in the window's
    // error report, after the endpoint's own box.
    form.guarded([&] { form.endpoint().send({}, QStringLiteral("127.0.0.1"), 27015); });
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Invalid buffer"));
    EXPECT_EQ(boxes.boxes[0].icon, BoxIcon::None);
    EXPECT_EQ(boxes.boxes[1].text, QStringLiteral("Invalid buffer."));
    EXPECT_EQ(boxes.boxes[1].icon, BoxIcon::Error);

    form.guarded([&] { form.endpoint().send({}, 0x7f000001u, 27015); });
    EXPECT_EQ(boxes.boxes.size(), 4) << "the address form of the send shows it too";
}

} // namespace
} // namespace vantry
