#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bundle/sample/sample_arguments.h"
#include "bundle/sample/sample_view.h"

namespace tervala_bundle {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

SampleArguments Parse(std::vector<const char*> argv) {
  return ParseSampleArguments(static_cast<int>(argv.size()), argv.data());
}

TEST(SampleArgumentsTest, OptionsComeFromTheirFlags) {
  const SampleArguments arguments =
      Parse({"--api-key=k=1", "--app-id=a", "--project-id=", "--messaging-sender-id=m",
             "--database-url=https://db", "--storage-bucket=b", "--exit-when-ready"});
  EXPECT_TRUE(arguments.any_option);
  EXPECT_TRUE(arguments.exit_when_ready);
  EXPECT_TRUE(arguments.problems.empty());
  const AppOptionsRecord& options = arguments.options;
  EXPECT_EQ(options.Text(options.kApiKey), "k=1");
  EXPECT_EQ(options.Text(options.kAppId), "a");
  EXPECT_EQ(options.fields[options.kProjectId], "");
  EXPECT_EQ(options.Text(options.kMessagingSenderId), "m");
  EXPECT_EQ(options.fields[options.kDatabaseUrl], "https://db");
  EXPECT_EQ(options.fields[options.kStorageBucket], "b");
  EXPECT_FALSE(options.fields[options.kTrackingId]);
}

TEST(SampleArgumentsTest, NoArgumentsMeanEmptyOptionsAndBadOnesAreReported) {
  const SampleArguments none = Parse({});
  EXPECT_FALSE(none.any_option);
  EXPECT_FALSE(none.exit_when_ready);
  EXPECT_EQ(none.options.fields, AppOptionsRecord().fields);

  const SampleArguments bad = Parse({"--api-key", "--colour=red", "--app-id=x"});
  EXPECT_THAT(bad.problems, ElementsAre(HasSubstr("--api-key=VALUE"), HasSubstr("--colour=red")));
  EXPECT_EQ(bad.options.Text(bad.options.kAppId), "x");
  EXPECT_EQ(bad.options.Text(bad.options.kApiKey), "");
}

AppDescription App(const std::string& name, const std::string& project) {
  AppDescription app;
  app.name = name;
  app.options.fields[AppOptionsRecord::kProjectId] = project;
  app.options.fields[AppOptionsRecord::kAppId] = "1:23:desktop";
  return app;
}

std::string AllText(const std::vector<TextLine>& lines) {
  std::string text;
  for (const TextLine& line : lines) text += line.text + "\n";
  return text;
}

TEST(SampleViewTest, ShowsTheAppsOrTheError) {
  SampleStatus status;
  EXPECT_THAT(AllText(DescribeStatus(status)), HasSubstr("Starting"));

  status.core_answered = true;
  status.AddApp(App("other", "p0"));
  status.apps_before = 1;
  status.app_answered = true;
  status.AddApp(App("__NIMBUSAPP_DEFAULT", "demo-project"));
  status.AddApp(App("other", "p1"));  // replaces the app of that name
  ASSERT_EQ(status.apps.size(), 2u);
  const std::string shown = AllText(DescribeStatus(status));
  EXPECT_THAT(shown, HasSubstr("App __NIMBUSAPP_DEFAULT"));
  EXPECT_THAT(shown, HasSubstr("project:      demo-project"));
  EXPECT_THAT(shown, HasSubstr("project:      p1"));
  EXPECT_THAT(Summary(status),
              HasSubstr("app __NIMBUSAPP_DEFAULT: project demo-project, app id 1:23:desktop"));

  SampleStatus failed;
  failed.core_answered = failed.app_answered = true;
  failed.app_error = "app-not-created: App ID, API key, and Project ID must be specified";
  EXPECT_THAT(AllText(DescribeStatus(failed)), HasSubstr("initializeApp failed: app-not-created"));
  EXPECT_THAT(Summary(failed), HasSubstr("initializeApp failed: app-not-created"));
  EXPECT_THAT(Summary(failed), HasSubstr("no apps"));
}

// The rows of the canvas that hold any text colour, i.e. differ from the background.
int InkedRows(const Canvas& canvas) {
  const Color background = canvas.At(canvas.width() - 1, canvas.height() - 1);
  int rows = 0;
  for (uint32_t y = 0; y < canvas.height(); ++y) {
    for (uint32_t x = 0; x < canvas.width(); ++x) {
      const Color c = canvas.At(x, y);
      if (c.red != background.red || c.green != background.green || c.blue != background.blue) {
        ++rows;
        break;
      }
    }
  }
  return rows;
}

TEST(SampleViewTest, FramesFillTheViewAndTextGrowsWithTheDpi) {
  const std::vector<TextLine> lines = {{TextLine::Style::kTitle, "Tervala"},
                                       {TextLine::Style::kText, "one"},
                                       {TextLine::Style::kError, "two"}};
  const Canvas normal = RenderLines(lines, 300, 200, 96);
  const Canvas large = RenderLines(lines, 300, 200, 192);
  EXPECT_EQ(normal.width(), 300u);
  EXPECT_EQ(normal.height(), 200u);
  EXPECT_GT(InkedRows(large), InkedRows(normal));
  // A view too small for the text still gets a frame.
  EXPECT_EQ(RenderLines(lines, 3, 2, 96).width(), 3u);
}

}  // namespace
}  // namespace tervala_bundle
