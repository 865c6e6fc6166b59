#pragma once
// Bytes handed on in pieces, as a port hands on what it finds waiting: the sizes come
// from the fuzz input (cycled, 1 to maxPiece each), or all at once where there are none.
#include <QByteArrayView>
#include <algorithm>
#include <cstdint>

template <typename Take>
void ForEachPiece(QByteArrayView bytes, QByteArrayView sizes, int maxPiece, Take take) {
  for (qsizetype at = 0, k = 0; at < bytes.size(); ++k) {
    const qsizetype n = sizes.isEmpty()
                            ? bytes.size()
                            : 1 + static_cast<uint8_t>(sizes[k % sizes.size()]) % maxPiece;
    const qsizetype piece = std::min(n, bytes.size() - at);
    take(bytes.sliced(at, piece));
    at += piece;
  }
}
