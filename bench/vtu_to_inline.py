# Rewrites an appended raw .vtu with UInt64 block headers (make_result_file
# --format vtu [--zlib]) as inline base64 ("binary") arrays: the same blocks,
# each array's header and data encoded apart as VTK's writer does, so that
# the two files hold the same data in the two forms.
#   vtu_to_inline.py APPENDED.vtu INLINE.vtu
import base64, re, struct, sys
src, dst = sys.argv[1], sys.argv[2]
raw = open(src, 'rb').read()
head_end = raw.index(b'<AppendedData')
head = raw[:head_end].decode()
start = raw.index(b'_', head_end) + 1
def block(off):
    p = start + off
    if 'compressor=' in head:
        n = struct.unpack_from('<Q', raw, p)[0]
        hdr = 8 * (3 + n)
        size = sum(struct.unpack_from('<%dQ' % n, raw, p + 24))
    else:
        hdr = 8
        size = struct.unpack_from('<Q', raw, p)[0]
    data = raw[p + hdr:p + hdr + size]
    return base64.b64encode(raw[p:p + hdr]) + base64.b64encode(data)
out = []
pos = 0
for m in re.finditer(r'format="appended" offset="(\d+)"/>', head):
    out.append(head[pos:m.start()].encode())
    out.append(b'format="binary">\n' + block(int(m.group(1))) + b'\n</DataArray>')
    pos = m.end()
out.append(head[pos:].encode())
out.append(b'</VTKFile>\n')
open(dst, 'wb').write(b''.join(out))
