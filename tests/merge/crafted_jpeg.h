// JPEG files crafted for the readers' bounds, shared by the merge program's and the
// application's tests: grey pictures encoded with a chosen scan script or optimised tables,
// the pieces of a file (its header, its first scan header), sparse files of gigabytes, and a
// child process to read them in.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace crafted {

using Bytes = std::vector<uint8_t>;

// A scan of the one component of a grey picture: coefficients ss..se, bits from ah to al.
inline jpeg_scan_info GreyScan(int ss, int se, int ah, int al) {
    jpeg_scan_info scan{};
    scan.comps_in_scan = 1;
    scan.component_index[0] = 0;
    scan.Ss = ss;
    scan.Se = se;
    scan.Ah = ah;
    scan.Al = al;
    return scan;
}

// A grey width x height picture with some texture, or flat black, as a JPEG: progressive by the
// script when it has scans, else sequential (with tables made for the picture when optimised).
inline Bytes GreyJpeg(int width, int height, const std::vector<jpeg_scan_info> &script = {},
                      bool flat = false, bool optimised = false) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    info.optimize_coding = optimised ? TRUE : FALSE;
    if (!script.empty()) {
        info.scan_info = script.data();
        info.num_scans = static_cast<int>(script.size());
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(width));
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < width; ++x)
            row[x] = flat ? 0 : static_cast<JSAMPLE>(40 + x * 150 / width + (x * 7 + y * 13) % 23);
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

// Where the first segment of the marker starts (its 0xFF), or the size.
inline size_t FindMarker(const Bytes &jpeg, uint8_t marker) {
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return i;
    return jpeg.size();
}

// The file up to its first scan header, without it.
inline Bytes BeforeFirstScan(const Bytes &jpeg) {
    return Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(FindMarker(jpeg, 0xDA)));
}

// The file up to the end of its first scan header: what precedes the entropy-coded data.
inline Bytes ThroughFirstScanHeader(const Bytes &jpeg) {
    const size_t sos = FindMarker(jpeg, 0xDA);
    const size_t end = sos + 2 + (static_cast<size_t>(jpeg[sos + 2]) << 8 | jpeg[sos + 3]);
    return Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(end));
}

// The file with its (first) frame header claiming another size.
inline Bytes WithFrameSize(Bytes jpeg, int width, int height) {
    const size_t sof = FindMarker(jpeg, 0xC0);
    jpeg[sof + 5] = static_cast<uint8_t>(height >> 8);
    jpeg[sof + 6] = static_cast<uint8_t>(height & 0xFF);
    jpeg[sof + 7] = static_cast<uint8_t>(width >> 8);
    jpeg[sof + 8] = static_cast<uint8_t>(width & 0xFF);
    return jpeg;
}

inline Bytes Joined(Bytes first, const Bytes &second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The file with `count` comment segments of one byte each right after its start-of-image marker,
// or, for a scan number from 1 on, right before that scan's header.
inline Bytes WithComments(const Bytes &jpeg, int count, int beforeScan = 0) {
    size_t at = 2;
    for (int scan = 0; scan < beforeScan; ++scan) {
        at = scan == 0 ? FindMarker(jpeg, 0xDA) : at + 2;
        while (at + 1 < jpeg.size() && !(jpeg[at] == 0xFF && jpeg[at + 1] == 0xDA)) ++at;
    }
    Bytes out(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(at));
    for (int i = 0; i < count; ++i) out.insert(out.end(), {0xFF, 0xFE, 0x00, 0x03, 'x'});
    out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
    return out;
}

// The file with `count` fill bytes (0xFF) before the marker after its start-of-image marker.
inline Bytes WithFillBytes(const Bytes &jpeg, size_t count) {
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), count, 0xFF);
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// Writes head at the start of a file of `size` bytes and tail at its end, the rest a hole that
// takes no room on the disk; false when the file cannot be made.
inline bool WriteSparseFile(const std::string &path, const Bytes &head, off_t size,
                            const Bytes &tail) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const off_t tailAt = size - static_cast<off_t>(tail.size());
    const bool written =
        write(fd, head.data(), head.size()) == static_cast<ssize_t>(head.size()) &&
        ftruncate(fd, tailAt) == 0 &&
        pwrite(fd, tail.data(), tail.size(), tailAt) == static_cast<ssize_t>(tail.size());
    return close(fd) == 0 && written;
}

// Runs body in a child process, so that a reader that runs away costs the test nothing, and
// answers what body returned ("the child failed" when the child ended otherwise); with
// peakMegabytes, also the child's peak resident memory.
inline std::string InChild(const std::function<std::string()> &body,
                           double *peakMegabytes = nullptr) {
    int channel[2];
    if (pipe(channel) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        const std::string answer = body();
        const ssize_t ignored = write(channel[1], answer.data(), answer.size());
        (void)ignored;
        _exit(0);
    }
    close(channel[1]);
    std::string answer;
    char buffer[256];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, static_cast<size_t>(got));
    close(channel[0]);
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    if (peakMegabytes != nullptr) *peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? answer : "the child failed";
}

}  // namespace crafted
