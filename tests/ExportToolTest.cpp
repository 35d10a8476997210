#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "tests/support/DescriptorWriter.h"
#include "tests/support/ExportRun.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::RunExport;
using test::SolidLayer;
using test::TestDocument;

class ExportToolTest : public ::testing::Test {
 protected:
  QString WritePsd(const QString& name, const test::Bytes& bytes) {
    const QString path = folder_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path;
  }
  QString Output(const QString& name) const { return folder_.filePath(name); }
  QStringList FilesIn(const QString& folder) const {
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
  }

  QTemporaryDir folder_;
};

TEST_F(ExportToolTest, WrongUsageExitsWithTwoAndAUsageText) {
  for (const QStringList& arguments :
       {QStringList{}, QStringList{"a.psd"}, QStringList{"--jobs", "0", "a.psd", "b.psd", "out"},
        QStringList{"--jobs", "many", "a.psd", "out"},
        QStringList{"--no-such-option", "a.psd", "out"}}) {
    const auto run = RunExport(arguments);
    EXPECT_EQ(run.ExitCode, 2) << arguments.join(' ').toStdString();
    EXPECT_TRUE(run.Errors.contains("Usage:")) << run.Errors.toStdString();
  }
  const auto help = RunExport({"--help"});
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_TRUE(help.Output.contains("FILE")) << help.Output.toStdString();
  const auto version = RunExport({"--version"});
  EXPECT_EQ(version.ExitCode, 0);
  EXPECT_TRUE(version.Output.startsWith("plymark-export ")) << version.Output.toStdString();
}

TEST_F(ExportToolTest, WritesTheSummaryTheLayerTableAndEveryLayersImage) {
  TestDocument document;
  document.Rows = 30;
  document.Columns = 40;
  for (int i = 0; i < 14; ++i) {
    document.Layers.push_back(
        SolidLayer(i, 0, i + 2, 3 + i, static_cast<std::uint8_t>(10 * i), 5, 6));
  }
  document.Layers.push_back(SolidLayer(4, 4, 4, 9, 1, 1, 1));  // no pixels
  const QString psd = WritePsd("fifteen.psd", test::BuildPsd(document));
  const QString out = Output("out");
  const auto run = RunExport({psd, out});
  ASSERT_EQ(run.ExitCode, 0) << run.Errors.toStdString();

  QFile summary(QDir(out).filePath("summary.txt"));
  ASSERT_TRUE(summary.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(summary.readAll()),
            "8BPS\nChannels3\nDepth   8\nRows    30\nColumns 40\nLayers  15\n");

  for (int i = 0; i < 14; ++i) {
    const QImage image(QDir(out).filePath(QStringLiteral("layer-%1.png").arg(i)));
    ASSERT_FALSE(image.isNull()) << "layer " << i;
    EXPECT_EQ(image.size(), QSize(3 + i, 2));
    EXPECT_EQ(image.pixelColor(2, 1), QColor(10 * i, 5, 6));
    // SolidLayer stores an opaque transparency channel (-1).
    EXPECT_TRUE(image.hasAlphaChannel());
  }
  EXPECT_FALSE(QFile::exists(QDir(out).filePath("layer-14.png")));

  QFile json(QDir(out).filePath("layers.json"));
  ASSERT_TRUE(json.open(QIODevice::ReadOnly));
  const QJsonObject root = QJsonDocument::fromJson(json.readAll()).object();
  EXPECT_EQ(root["file"].toString(), "fifteen.psd");
  EXPECT_EQ(root["header"].toObject()["signature"].toString(), "8BPS");
  EXPECT_EQ(root["header"].toObject()["rows"].toInt(), 30);
  const QJsonArray layers = root["layers"].toArray();
  ASSERT_EQ(layers.size(), 15);
  const QJsonObject thirteenth = layers[13].toObject();
  EXPECT_EQ(thirteenth["index"].toInt(), 13);
  EXPECT_EQ(thirteenth["top"].toInt(), 13);
  EXPECT_EQ(thirteenth["width"].toInt(), 16);
  EXPECT_EQ(thirteenth["blendKey"].toString(), "norm");
  EXPECT_EQ(thirteenth["image"].toString(), "layer-13.png");
  const QJsonArray channels = thirteenth["channels"].toArray();
  ASSERT_EQ(channels.size(), 4);
  EXPECT_EQ(channels[0].toObject()["id"].toInt(), -1);
  EXPECT_EQ(channels[0].toObject()["compression"].toInt(), 0);
  EXPECT_EQ(channels[0].toObject()["length"].toInt(), 2 * 16 + 2);
  EXPECT_TRUE(layers[14].toObject()["image"].isNull());
}

TEST_F(ExportToolTest, TheLayerTableNamesEveryLayer) {
  TestDocument document;
  document.Layers = {SolidLayer(0, 0, 1, 1, 1, 2, 3), SolidLayer(0, 0, 1, 1, 1, 2, 3),
                     SolidLayer(0, 0, 1, 1, 1, 2, 3)};
  document.Layers[0].Extra = test::NamedExtra("Smile ?", u"Smile \U0001F600");
  document.Layers[1].Extra = test::NamedExtra("Caf\xe9");
  const QString out = Output("named");
  const auto run = RunExport({WritePsd("named.psd", test::BuildPsd(document)), out});
  ASSERT_EQ(run.ExitCode, 0) << run.Errors.toStdString();
  QFile json(QDir(out).filePath("layers.json"));
  ASSERT_TRUE(json.open(QIODevice::ReadOnly));
  const QJsonArray layers = QJsonDocument::fromJson(json.readAll()).object()["layers"].toArray();
  ASSERT_EQ(layers.size(), 3);
  EXPECT_EQ(layers[0].toObject()["name"].toString(), QString::fromUtf8("Smile \U0001F600"));
  EXPECT_EQ(layers[1].toObject()["name"].toString(), QString::fromUtf8("Caf\u00e9"));
  EXPECT_EQ(layers[2].toObject()["name"].toString(), "");
}

TEST_F(ExportToolTest, TransparencyBecomesAlphaUnlessNoAlphaIsAsked) {
  TestDocument document;
  document.Layers = {SolidLayer(0, 0, 1, 1, 40, 50, 60)};
  document.Layers[0].Channels[0].Data = {0};  // channel -1: clear
  const QString psd = WritePsd("alpha.psd", test::BuildPsd(document));
  ASSERT_EQ(RunExport({psd, Output("alpha")}).ExitCode, 0);
  // The stored colour stays under a fully transparent pixel.
  EXPECT_EQ(QImage(QDir(Output("alpha")).filePath("layer-0.png")).pixel(0, 0),
            qRgba(40, 50, 60, 0));
  ASSERT_EQ(RunExport({"--no-alpha", psd, Output("opaque")}).ExitCode, 0);
  const QImage opaque(QDir(Output("opaque")).filePath("layer-0.png"));
  EXPECT_FALSE(opaque.hasAlphaChannel());
  EXPECT_EQ(opaque.pixel(0, 0), qRgb(40, 50, 60));
}

TEST_F(ExportToolTest, EveryRecordWithAUserMaskGetsItsMaskPictureAndADamagedOneFails) {
  // A 0x0 group record has no picture of its own but may have a mask.
  test::TestLayer group{
      0, 0, 0, 0, {}, "norm", test::LayerExtra("G", test::UserMaskData(2, 3, 4, 6, 255))};
  group.Channels.push_back({-2, 0, {1, 2, 3, 4, 5, 6}});
  TestDocument document;
  document.Layers = {SolidLayer(0, 0, 1, 1, 1, 2, 3), group};
  const QString out = Output("masks");
  ASSERT_EQ(RunExport({WritePsd("masks.psd", test::BuildPsd(document)), out}).ExitCode, 0);
  const QImage mask(QDir(out).filePath("mask-1.png"));
  EXPECT_EQ(mask.format(), QImage::Format_Grayscale8);
  ASSERT_EQ(mask.size(), QSize(3, 2));
  EXPECT_EQ(qGray(mask.pixel(2, 1)), 6);
  EXPECT_FALSE(QFile::exists(QDir(out).filePath("mask-0.png")));

  document.Layers[1].Channels[0].Data.pop_back();  // raw data one byte short
  const QString damaged = WritePsd("damaged-mask.psd", test::BuildPsd(document));
  const auto run = RunExport({"--quiet", damaged, Output("damaged")});
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_TRUE(run.Errors.contains("channel -2 of layer 1")) << run.Errors.toStdString();
  EXPECT_FALSE(QFileInfo::exists(Output("damaged")));
}

TEST_F(ExportToolTest, BoxTextsGoToStandardErrorUnlessQuiet) {
  TestDocument document;
  document.ColorModeData = test::Bytes(768, 0);
  document.Layers = {SolidLayer(0, 0, 1, 1, 1, 2, 3)};
  const QString psd = WritePsd("indexed.psd", test::BuildPsd(document));
  const auto loud = RunExport({psd, Output("loud")});
  ASSERT_EQ(loud.ExitCode, 0);
  const QStringList lines = loud.Errors.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(lines[0], "plymark-export: ERROR");
  EXPECT_TRUE(lines[1].startsWith("plymark-export: "));

  const auto quiet = RunExport({"--quiet", psd, Output("quiet")});
  EXPECT_EQ(quiet.ExitCode, 0);
  EXPECT_TRUE(quiet.Errors.isEmpty()) << quiet.Errors.toStdString();
}

TEST_F(ExportToolTest, ADamagedFileLeavesTheOutputFolderUntouched) {
  test::Bytes damaged = test::BuildHeader(TestDocument{});
  damaged.push_back(0);
  const QString psd = WritePsd("damaged.psd", damaged);

  const QString fresh = Output("fresh");
  const auto run = RunExport({"--quiet", psd, fresh});
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Errors,
            "plymark-export: " + psd +
                ": the file ends at byte 27 while reading the colour-mode data length\n");
  EXPECT_FALSE(QFileInfo::exists(fresh));

  const QString existing = Output("existing");
  QDir().mkpath(existing);
  QFile keep(QDir(existing).filePath("keep.txt"));
  ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
  keep.close();
  EXPECT_EQ(RunExport({psd, existing}).ExitCode, 1);
  EXPECT_EQ(FilesIn(existing), QStringList{"keep.txt"});
  // Nothing is left beside the output folder either.
  EXPECT_EQ(FilesIn(folder_.path()), (QStringList{"damaged.psd", "existing"}));

  const auto missing = RunExport({Output("missing.psd"), existing});
  EXPECT_EQ(missing.ExitCode, 1);
  EXPECT_TRUE(missing.Errors.contains("cannot be opened")) << missing.Errors.toStdString();
}

TEST_F(ExportToolTest, AnExistingOutputFolderGainsTheFilesAndKeepsItsOwn) {
  TestDocument document;
  document.Layers = {SolidLayer(0, 0, 2, 2, 9, 9, 9)};
  const QString psd = WritePsd("one.psd", test::BuildPsd(document));
  const QString out = Output("out");
  QDir().mkpath(out);
  QFile keep(QDir(out).filePath("keep.txt"));
  ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
  keep.close();
  ASSERT_EQ(RunExport({"--quiet", psd, out}).ExitCode, 0);
  EXPECT_EQ(FilesIn(out), (QStringList{"composite.png", "keep.txt", "layer-0.png", "layers.json",
                                       "summary.txt"}));
  EXPECT_EQ(FilesIn(folder_.path()), (QStringList{"one.psd", "out"}));
}

TEST_F(ExportToolTest, SeveralFilesGoIntoTheirOwnFoldersAndADamagedOneIsReported) {
  const auto document = [](std::uint8_t red) {
    TestDocument one;
    one.Layers = {SolidLayer(0, 0, 2, 3, red, 5, 6)};
    return test::BuildPsd(one);
  };
  QDir(folder_.path()).mkdir("other");
  test::Bytes damaged = test::BuildHeader(TestDocument{});
  damaged.push_back(0);
  const QStringList files{WritePsd("a.psd", document(1)), WritePsd("b.psd", document(2)),
                          WritePsd("other/a.psd", document(3)), WritePsd("broken.psd", damaged),
                          WritePsd("c.d.psd", document(4))};
  for (const QString jobs : {"1", "3"}) {
    const QString out = Output("out-" + jobs);
    const auto run = RunExport(QStringList{"--quiet", "--jobs", jobs} + files + QStringList{out});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Errors, "plymark-export: " + files[3] +
                              ": the file ends at byte 27 while reading the colour-mode data "
                              "length\n");
    EXPECT_EQ(FilesIn(out), (QStringList{"a", "a-2", "b", "c.d"}));
    const std::pair<QString, int> folders[] = {{"a", 1}, {"b", 2}, {"a-2", 3}, {"c.d", 4}};
    for (const auto& [name, red] : folders) {
      const QString folder = QDir(out).filePath(name);
      EXPECT_EQ(FilesIn(folder),
                (QStringList{"composite.png", "layer-0.png", "layers.json", "summary.txt"}));
      EXPECT_EQ(QImage(QDir(folder).filePath("layer-0.png")).pixelColor(2, 1), QColor(red, 5, 6))
          << name.toStdString();
    }
  }
  const auto whole = RunExport({files[0], files[1], Output("whole")});
  EXPECT_EQ(whole.ExitCode, 0) << whole.Errors.toStdString();
  EXPECT_EQ(FilesIn(Output("whole")), (QStringList{"a", "b"}));
}

// Resource 1057 of a file saved without its merged image.
test::Bytes WithoutMergedImage() {
  return test::ByteWriter().Text("8BIM").I16(1057).I16(0).I32(5).I32(1).U8(0).U8(0).Data();
}

QJsonObject LayersJsonIn(const QString& folder) {
  QFile json(QDir(folder).filePath("layers.json"));
  if (!json.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(json.readAll()).object();
}

// rendered.png with --render, and wherever a layered document has no merged
// image; layers.json then says what became of it.
TEST_F(ExportToolTest, TheDocumentIsDrawnWhenAskedOrWhenItHasNoMergedImage) {
  TestDocument opaque;
  opaque.Rows = 5;
  opaque.Columns = 7;
  opaque.Layers = {SolidLayer(1, 1, 3, 4, 10, 20, 30)};
  TestDocument transparent = opaque;
  transparent.Channels = 4;  // the merged image has a transparency channel
  TestDocument unsaved = opaque;
  unsaved.ImageResources = WithoutMergedImage();
  const struct {
    const char* What;
    QStringList Options;
    TestDocument Document;
    bool Drawn;
    bool Alpha;
  } cases[] = {
      {"asked", {"--render"}, opaque, true, false},
      {"asked, with transparency", {"--render"}, transparent, true, true},
      {"not asked", {}, opaque, false, false},
      {"not asked, no merged image", {}, unsaved, true, false},
  };
  int k = 0;
  for (const auto& c : cases) {
    const QString out = Output(QStringLiteral("out-%1").arg(k));
    const QString psd = WritePsd(QStringLiteral("in-%1.psd").arg(k++), test::BuildPsd(c.Document));
    const auto run = RunExport(c.Options + QStringList{psd, out});
    ASSERT_EQ(run.ExitCode, 0) << c.What << ": " << run.Errors.toStdString();
    const QJsonObject json = LayersJsonIn(out);
    const QImage rendered(QDir(out).filePath("rendered.png"));
    EXPECT_EQ(!rendered.isNull(), c.Drawn) << c.What;
    EXPECT_EQ(json.contains("rendered"), c.Drawn) << c.What;
    if (!c.Drawn) continue;
    EXPECT_EQ(rendered.size(), QSize(7, 5)) << c.What;
    EXPECT_EQ(rendered.hasAlphaChannel(), c.Alpha) << c.What;
    EXPECT_EQ(json["rendered"].toString(), "rendered.png") << c.What;
    EXPECT_TRUE(json["renderOmissions"].isArray()) << c.What;
    EXPECT_TRUE(json["renderError"].isNull()) << c.What;
  }
  EXPECT_TRUE(RunExport({"--help"}).Output.contains("--render"));
}

// A layer whose transparency channel is damaged is written opaque, with one
// message, and the rest of the export goes on; a render that cannot be made
// costs only itself.
TEST_F(ExportToolTest, ADamagedTransparencyChannelCostsOnlyTheLayersAlpha) {
  TestDocument document;
  document.Layers = {SolidLayer(0, 0, 2, 2, 40, 50, 60), SolidLayer(1, 1, 3, 3, 1, 2, 3)};
  document.Layers[0].Extra = test::NamedExtra("Ink");
  document.Layers[0].Channels[0].Data.clear();  // channel -1 of length 2: no samples
  const QString out = Output("out");
  const auto run = RunExport({"--render", WritePsd("damaged.psd", test::BuildPsd(document)), out});
  ASSERT_EQ(run.ExitCode, 0) << run.Errors.toStdString();
  EXPECT_EQ(run.Errors.count("Layer 0 \"Ink\": its transparency channel (-1)"), 1)
      << run.Errors.toStdString();
  const QImage layer(QDir(out).filePath("layer-0.png"));
  EXPECT_FALSE(layer.hasAlphaChannel());
  EXPECT_EQ(layer.pixel(1, 1), qRgb(40, 50, 60));
  EXPECT_TRUE(QImage(QDir(out).filePath("layer-1.png")).hasAlphaChannel());
  EXPECT_TRUE(QFile::exists(QDir(out).filePath("composite.png")));

  // Drawn all the same, the layer opaque.
  EXPECT_TRUE(QFile::exists(QDir(out).filePath("rendered.png")));

  // Layers of a depth that cannot be shown cannot be drawn either; that
  // costs only the drawing.
  TestDocument oneBit;
  oneBit.Depth = 1;
  oneBit.Layers = {SolidLayer(0, 0, 2, 2, 1, 2, 3)};
  const QString oneBitOut = Output("one-bit");
  const auto oneBitRun =
      RunExport({"--render", WritePsd("one-bit.psd", test::BuildPsd(oneBit)), oneBitOut});
  ASSERT_EQ(oneBitRun.ExitCode, 0) << oneBitRun.Errors.toStdString();
  const QJsonObject json = LayersJsonIn(oneBitOut);
  EXPECT_TRUE(json["rendered"].isNull());
  EXPECT_FALSE(json["renderError"].toString().isEmpty());
  EXPECT_FALSE(QFile::exists(QDir(oneBitOut).filePath("rendered.png")));
  EXPECT_TRUE(QFile::exists(QDir(oneBitOut).filePath("layer-0.png")));
  EXPECT_EQ(oneBitRun.Errors.count("no rendered image"), 1) << oneBitRun.Errors.toStdString();
}

// The header says which profile the document embeds and whether its colours
// were converted; a profile that cannot be used is said on standard error.
TEST_F(ExportToolTest, TheLayerTableNamesTheColourProfileAndWhetherItWasApplied) {
  struct Case {
    const char* What;
    QString Psd;
    QJsonValue Profile;
    bool Managed;
    bool Complains;
  };
  TestDocument plain;
  plain.Layers = {SolidLayer(0, 0, 1, 1, 1, 2, 3)};
  TestDocument damaged = plain;
  damaged.ColorMode = 4;
  damaged.Channels = 4;
  // Resource 1039 holding 200 bytes that declare themselves a profile of 200.
  test::Bytes profile(200, 0x41);
  profile[0] = profile[1] = profile[2] = 0;
  profile[3] = 200;
  damaged.ImageResources =
      test::ByteWriter().Text("8BIM").I16(1039).I16(0).I32(200).Append(profile).Data();
  const Case cases[] = {
      {"RGB without a profile", WritePsd("plain.psd", test::BuildPsd(plain)), QJsonValue(), false,
       false},
      {"CMYK with a damaged profile", WritePsd("damaged.psd", test::BuildPsd(damaged)),
       QJsonValue(), false, true},
      {"CMYK with Ghostscript's PS CMYK profile",
       QStringLiteral(PLYMARK_CORPUS_DIR "/icc/im-cmyk-pscmyk.psd"),
       QJsonValue("Artifex PS CMYK Profile"), true, false},
      {"RGB with an sRGB profile", QStringLiteral(PLYMARK_CORPUS_DIR "/icc/im-rgb-srgb.psd"),
       QJsonValue("sRGB"), false, false},
  };
  int k = 0;
  for (const Case& c : cases) {
    const QString out = Output(QStringLiteral("out-%1").arg(k++));
    const auto run = RunExport({c.Psd, out});
    ASSERT_EQ(run.ExitCode, 0) << c.What << ": " << run.Errors.toStdString();
    EXPECT_EQ(run.Errors.contains("colour profile cannot be used"), c.Complains)
        << c.What << ": " << run.Errors.toStdString();
    QFile json(QDir(out).filePath("layers.json"));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly)) << c.What;
    const QJsonObject header =
        QJsonDocument::fromJson(json.readAll()).object()["header"].toObject();
    ASSERT_TRUE(header.contains("colorProfile")) << c.What;
    EXPECT_EQ(header["colorProfile"].isNull() ? QJsonValue() : header["colorProfile"], c.Profile)
        << c.What;
    EXPECT_EQ(header["colorManaged"], QJsonValue(c.Managed)) << c.What;
  }
}

// The settings blocks go into layers.json as plain JSON; an embedded smart
// object and the XMP packet are written beside the layer images.
TEST_F(ExportToolTest, TheLayerTableCarriesIdsTextSmartObjectsAndSettings) {
  using namespace test;
  const Bytes text = ByteWriter()
                         .I16(1)
                         .Append(Bytes(48, 0))
                         .I16(50)
                         .Append(Versioned("TxLr", {{"Txt ", TextValue(u"Hi")}}))
                         .Data();
  const Bytes shadow =
      ByteWriter()
          .I32(0)
          .Append(Versioned("null",
                            {{"masterFXSwitch", BoolValue(true)},
                             {"DrSh", ObjectValue("DrSh", {{"enab", BoolValue(true)},
                                                           {"Opct", UnitValue("#Prc", 50)},
                                                           {"Md  ", EnumValue("BlnM", "Mltp")}})}}))
          .Data();
  const Bytes placed = ByteWriter()
                           .Text("soLD")
                           .I32(4)
                           .Append(Versioned("null", {{"Idnt", TextValue(u"abc")}}))
                           .Data();
  const Bytes blocks =
      ByteWriter()
          .Append(TaggedBlock("8BIM", "lyid", ByteWriter().I32(42).Data()))
          .Append(TaggedBlock("8BIM", "TySh", text))
          .Append(TaggedBlock("8BIM", "lfx2", shadow))
          .Append(TaggedBlock("8BIM", "SoLd", placed))
          .Append(TaggedBlock(
              "8BIM", "SoCo",
              Versioned("null", {{"Clr ", ObjectValue("Grsc", {{"Gry ", DoubleValue(50)}})}})))
          .Append(TaggedBlock("8BIM", "vibA", ByteWriter().I32(15).Data()))
          .Data();
  ByteWriter entry;
  entry.Text("liFD").I32(2).U8(3).Text("abc").Append(UnicodeString(u"photo.JPG")).Text("JPEG");
  entry.I32(0).I64(4).U8(0).Text("JFIF");
  TestDocument document;
  document.Layers = {SolidLayer(0, 0, 1, 1, 1, 2, 3)};
  document.Layers[0].Extra = LayerExtra("Hi", {}, blocks);
  document.GlobalBlocks = TaggedBlock(
      "8BIM", "lnk2",
      ByteWriter().I64(static_cast<std::int64_t>(entry.Size())).Append(entry.Data()).Data());
  // 72 pixels per inch both ways, and an XMP packet.
  document.ImageResources = ByteWriter()
                                .Text("8BIM")
                                .I16(1005)
                                .I16(0)
                                .I32(16)
                                .I32(72 << 16)
                                .I16(1)
                                .I16(2)
                                .I32(72 << 16)
                                .I16(1)
                                .I16(2)
                                .Text("8BIM")
                                .I16(1060)
                                .I16(0)
                                .I32(4)
                                .Text("<x/>")
                                .Data();
  const QString out = Output("settings");
  const auto run = RunExport({WritePsd("settings.psd", BuildPsd(document)), out});
  ASSERT_EQ(run.ExitCode, 0) << run.Errors.toStdString();
  QFile json(QDir(out).filePath("layers.json"));
  ASSERT_TRUE(json.open(QIODevice::ReadOnly));
  const QJsonObject root = QJsonDocument::fromJson(json.readAll()).object();
  const QJsonObject layer = root["layers"].toArray()[0].toObject();
  EXPECT_EQ(layer["id"], 42);
  EXPECT_EQ(layer["text"].toObject()["text"], "Hi");
  const QJsonObject smart = layer["smartObject"].toObject();
  EXPECT_EQ(smart["uniqueId"], "abc");
  EXPECT_EQ(smart["fileName"], "photo.JPG");
  EXPECT_EQ(smart["fileType"], "JPEG");
  EXPECT_EQ(smart["file"], "smart-0.jpg");
  QFile embedded(QDir(out).filePath("smart-0.jpg"));
  ASSERT_TRUE(embedded.open(QIODevice::ReadOnly));
  EXPECT_EQ(embedded.readAll(), "JFIF");
  const QJsonObject drop = layer["effects"].toObject()["settings"].toObject()["DrSh"].toObject();
  EXPECT_EQ(drop["_class"], "DrSh");
  EXPECT_EQ(drop["enab"], true);
  EXPECT_EQ(drop["Opct"], (QJsonObject{{"unit", "#Prc"}, {"value", 50}}));
  EXPECT_EQ(drop["Md  "], (QJsonObject{{"type", "BlnM"}, {"value", "Mltp"}}));
  EXPECT_EQ(layer["fill"].toObject()["kind"], "SoCo");
  // A damaged adjustment is named, and costs only itself.
  EXPECT_EQ(layer["adjustment"], QJsonValue());
  ASSERT_EQ(layer["blockProblems"].toArray().size(), 1);
  EXPECT_TRUE(layer["blockProblems"][0].toString().startsWith("vibA: "));
  EXPECT_EQ(root["resolution"].toObject()["horizontal"], 72);
  EXPECT_EQ(root["resolution"].toObject()["widthUnit"], "centimeters");
  EXPECT_EQ(root["xmp"], "metadata.xmp");
  QFile xmp(QDir(out).filePath("metadata.xmp"));
  ASSERT_TRUE(xmp.open(QIODevice::ReadOnly));
  EXPECT_EQ(xmp.readAll(), "<x/>");
}

}  // namespace
}  // namespace plymark
