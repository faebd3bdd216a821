#pragma once
// A 320 x 240 image of uniform noise in [0, scale), indexed [x][y] like the
// data engine's images; the same seed gives the same image.

#include <opencv2/core.hpp>

#include <random>

inline cv::Mat noisyImage(float scale, unsigned seed)
{
    cv::Mat img(320, 240, CV_32F); // [x][y]
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(0.0f, scale);
    for (int x = 0; x < img.rows; ++x)
        for (int y = 0; y < img.cols; ++y)
            img.at<float>(x, y) = value(rng);
    return img;
}
