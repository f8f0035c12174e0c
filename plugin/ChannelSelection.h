// Which buffers a process call reads and writes. The second channel is used
// only when the host reports its pin as connected, the speaker arrangement is
// stereo on that side, and the host passed a second buffer distinct from the
// first; otherwise both channels are the first buffer (mono on that side).
#pragma once

namespace zel {

template <typename T> struct ChannelPair {
    T* left;
    T* right;
};

// buffers must hold a non-null first channel. The second entry is only read when
// the pin is connected and the side is stereo.
template <typename T>
ChannelPair<T> selectChannels(T* const* buffers, bool secondPinConnected, bool stereo) noexcept {
    T* left = buffers[0];
    T* right = left;
    if (stereo && secondPinConnected && buffers[1] != nullptr && buffers[1] != left)
        right = buffers[1];
    return {left, right};
}

} // namespace zel
