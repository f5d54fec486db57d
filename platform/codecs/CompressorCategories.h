#pragma once
// Makes the compressors known to the System Device Enumerator: the video compressor category
// ("Microsoft Video 1", "Motion JPEG", "MPEG-4 Video", "H.264 Video", "FFV1 Lossless") and the
// audio compressor category ("PCM", "MPEG Layer-3", "Microsoft ADPCM", "IMA ADPCM",
// "CCITT A-Law", "CCITT u-Law"), each listing only the encoders this libavcodec has. The program
// calls it once at start-up, next to RegisterMediaGraphClasses().
void RegisterCompressorCategories();

// Silences the codec library's own notes on standard error (warnings while an encoder drains):
// for a run whose standard error carries only its errors. A failing encoder still fails its
// calls.
void QuietCodecLibrary();
