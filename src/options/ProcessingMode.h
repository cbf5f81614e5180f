#pragma once
// The processing modes: the list index of CmbType. Each decides what a row
// of the list is, what LBase holds and what the run does with a row.
enum ProcessingModeValue {
    SeriesFromOneVideo = 0,
    OneCoverPerVideo = 1,
    OneCoverForAllVideos = 2,
    FrameAsCover = 3,
    FrameToPicture = 4,
};
