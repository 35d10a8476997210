# Benchmark reader: opens a PSD and gets every layer and the merged image as numpy arrays, all
# kept until exit, with Plymark's module or with psd-tools (layer.numpy() for every layer that is
# not a group, psd.numpy()). Prints the seconds from before the open to the last array, and the
# bytes of the arrays.
# Usage: python3 python-arrays.py plymark|psd-tools FILE.psd
import sys
import time

reader, path = sys.argv[1:3]
if reader == "plymark":
    import plymark
else:
    from psd_tools import PSDImage
start = time.perf_counter()
if reader == "plymark":
    document = plymark.open(path)
    arrays = [layer.numpy() for layer in document.layers] + [document.composite()]
else:
    psd = PSDImage.open(path)
    arrays = [layer.numpy() for layer in psd.descendants() if not layer.is_group()]
    arrays.append(psd.numpy())
seconds = time.perf_counter() - start
assert all(array is not None for array in arrays)
print(f"{seconds:.4f} {sum(array.nbytes for array in arrays)}")
