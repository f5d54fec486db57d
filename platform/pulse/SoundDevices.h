#pragma once
// Start-up registration of sound capture, next to RegisterMediaGraphClasses(): the audio input
// device category's lister (ListSoundCaptureDevices) and the capture filter's property page
// class. Part of platform_pulse_pages (the page is a Qt widget).
void RegisterSoundDevices();
