"""Dask arrays and xarray DataArrays in, lazy results out, for every function
that takes an image.

The counts of a whole are the sums of its parts' counts: each chunk is counted
in a task of its own, the 256 counts of the chunks summed by dask's tree
reduction, and the threshold found on the sum, to the bit the numpy call's.
Image-shaped results are dask arrays of the input's chunks (map_blocks), so the
caller decides when and where they run; a DataArray comes back as a DataArray
of its dims, coords and attrs, less what describes the input's values only (a
no-data value, a scale). Nothing here imports dask or xarray until an argument
is one of theirs, and no step converts a dask array to numpy.
"""
from __future__ import annotations

import sys
from typing import Any, Optional, Tuple

import numpy as np

from . import _checks

# Attributes of a raster's values that no longer describe a mask or levels.
VALUE_ATTRIBUTES = ("_FillValue", "missing_value", "scale_factor", "add_offset")


def _loaded_type(module: str, name: str) -> Optional[type]:
    """The class module.name if module is imported and defines it yet: another
    thread may be importing it, its entry in sys.modules still half filled."""
    return getattr(sys.modules.get(module), name, None)


def _dask_array(value: object) -> bool:
    array_type = _loaded_type("dask.array", "Array")
    return array_type is not None and isinstance(value, array_type)


def _data_array(value: object) -> bool:
    data_array_type = _loaded_type("xarray", "DataArray")
    return data_array_type is not None and isinstance(value, data_array_type)


def takes(*values: object) -> bool:
    """Whether one of the arguments is a dask array or an xarray DataArray: a
    look at the modules already imported, so the numpy path imports nothing."""
    return any(_dask_array(value) or _data_array(value) for value in values)


def _unwrapped(value: object) -> Tuple[Any, Any]:
    """(the array inside value, the DataArray it came in or None)."""
    return (value.data, value) if _data_array(value) else (value, None)


def _wrapped(result: Any, template: Any, channels_dropped: bool = False) -> Any:
    """result as a DataArray like template (dims, coords, attrs, name), less its
    last dim for a hue; result itself without a template."""
    if template is None:
        return result
    import xarray
    dims = template.dims[:-1] if channels_dropped else template.dims
    coords = {name: coord for name, coord in template.coords.items() if set(coord.dims) <= set(dims)}
    attrs = {key: value for key, value in template.attrs.items() if key not in VALUE_ATTRIBUTES}
    wrapped = xarray.DataArray(result, dims=dims, coords=coords, attrs=attrs)
    # Set after: given name=None, xarray names the DataArray after its dask graph's key.
    wrapped.name = template.name
    return wrapped


def _probe(array: Any) -> np.ndarray:
    """An array of the dtype and shape of array, and no memory: for the same
    checks and messages as a numpy argument gets."""
    return np.broadcast_to(np.zeros((), dtype=array.dtype), array.shape)


def _masked(array: Any) -> bool:
    return isinstance(getattr(array, "_meta", array), np.ma.MaskedArray)


def _meta(ndim: int, dtype: Any, masked: bool) -> np.ndarray:
    empty = np.empty((0,) * ndim, dtype=dtype)
    return np.ma.masked_array(empty) if masked else empty


def _image(image: object) -> Tuple[Any, Any]:
    """(the dask or numpy array, the DataArray or None) of an image argument,
    a dask array's dtype and dimensions checked as numpy's would be."""
    data, template = _unwrapped(image)
    if _dask_array(data):
        _checks.image_argument(_meta(data.ndim, data.dtype, False))
    return data, template


def _selection(image: Any, mask: object) -> Any:
    """The dask bool array of the pixels to count, in the image's chunks, or None."""
    import dask.array as da
    data, _ = _unwrapped(mask)
    if data is None:
        return None
    lazy = _dask_array(data)
    # The same checks and messages as for numpy, on arrays of no memory.
    _checks.selection_of(_probe(image), _probe(data) if lazy or isinstance(data, np.ndarray)
                         else data, None)
    if lazy:
        data = da.ma.filled(data, False) if _masked(data) else data
        return da.broadcast_to(data, image.shape).rechunk(image.chunks)
    return da.from_array(np.broadcast_to(np.ma.filled(data, False), image.shape), chunks=image.chunks)


def _as_dask(image: Any) -> Any:
    """image as a dask array (a numpy image with a dask mask, say)."""
    import dask.array as da
    return image if _dask_array(image) else da.from_array(image, chunks="auto")


def _threads(threads: object) -> Optional[int]:
    """One thread a chunk unless asked: dask already runs chunks side by side."""
    _checks.thread_count(threads, 0)
    return 1 if threads is None else threads


def _chunk_counts(block: np.ndarray, selected: Optional[np.ndarray] = None, *,
                  threads: int) -> np.ndarray:
    from .two_classes import histogram
    return histogram(block, selected, threads=threads).reshape((1,) * block.ndim + (256,))


def _counts(image: Any, mask: object, threads: object) -> np.ndarray:
    """The 256 counts of a dask image: a task a chunk, summed in a tree."""
    selected = _selection(image, mask)
    ndim = image.ndim
    chunks = tuple((1,) * len(axis) for axis in image.chunks) + ((256,),)
    parts = image.map_blocks(_chunk_counts, *([] if selected is None else [selected]),
                             threads=_threads(threads), chunks=chunks, new_axis=ndim,
                             dtype=np.uint64, meta=_meta(ndim + 1, np.uint64, False))
    return _summed(parts).compute()


# Counts summed in a task: a task costs the scheduler far more than adding a
# few 256 counts.
SUM_FAN_IN = 8


def _added(*parts: np.ndarray) -> np.ndarray:
    total = np.zeros(256, dtype=np.uint64)
    for part in parts:
        total += part.reshape(256)
    return total


def _summed(parts: Any) -> Any:
    """The 256 counts of parts' blocks summed in a tree of SUM_FAN_IN a task:
    dask's sum took a third of the counting's time, in tasks of its own for
    each block and each level of its tree."""
    import dask.array as da
    from dask.core import flatten
    from dask.highlevelgraph import HighLevelGraph
    name = "circthresh-counts-" + parts.name
    keys = list(flatten(parts.__dask_keys__()))
    layer = {}
    level = 0
    while len(keys) > SUM_FAN_IN:
        step = "%s-%d" % (name, level)
        groups = [keys[at:at + SUM_FAN_IN] for at in range(0, len(keys), SUM_FAN_IN)]
        layer.update({(step, index): (_added, *group) for index, group in enumerate(groups)})
        keys = [(step, index) for index in range(len(groups))]
        level += 1
    layer[(name, 0)] = (_added, *keys)
    graph = HighLevelGraph.from_collections(name, layer, dependencies=[parts])
    return da.Array(graph, name, chunks=((256,),), dtype=np.uint64)


def histogram(image: object, mask: object, threads: object) -> np.ndarray:
    from . import two_classes
    data, _ = _image(image)
    mask_data, _ = _unwrapped(mask)
    if not takes(data, mask_data):
        return two_classes.histogram(data, mask_data, threads=threads)
    return _counts(_as_dask(data), mask_data, threads)


def _chunk_binary(block: np.ndarray, t: int, threads: int) -> np.ndarray:
    from .two_classes import apply_threshold
    return apply_threshold(block, t, threads=threads)


def apply_threshold(image: object, t: int, threads: object) -> Any:
    from . import two_classes
    data, template = _image(image)
    if not _dask_array(data):
        return _wrapped(two_classes.apply_threshold(data, t, threads=threads), template)
    # t and threads checked now, not in a task.
    two_classes.apply_threshold(np.zeros(0, np.uint8), t, threads=threads)
    binary = data.map_blocks(_chunk_binary, int(t), _threads(threads), dtype=np.uint8,
                             meta=_meta(data.ndim, np.uint8, False))
    return _wrapped(binary, template)


def threshold(image: object, mask: object, threads: object) -> Tuple[int, float, Any]:
    from . import two_classes
    data, template = _image(image)
    mask_data, _ = _unwrapped(mask)
    if not takes(data, mask_data):
        t, sigma_w, binary = two_classes.threshold(data, mask_data, threads=threads)
        return t, sigma_w, _wrapped(binary, template)
    data = _as_dask(data)
    t, sigma_w = two_classes.threshold_histogram(_counts(data, mask_data, threads))
    return t, sigma_w, apply_threshold(_wrapped(data, template), t, threads)


def _chunk_levels(block: np.ndarray, period: float, offset: float, masked: bool) -> np.ndarray:
    from .levels import angles_to_levels
    levels = angles_to_levels(block, period, offset)
    return np.ma.asarray(levels) if masked else levels


def angles_to_levels(angles: object, period: object, offset: object) -> Any:
    from . import levels
    data, template = _unwrapped(angles)
    if not _dask_array(data):
        return _wrapped(levels.angles_to_levels(data, period, offset), template)
    # period, offset and the dtype checked now; a NaN raises when its chunk runs.
    levels.angles_to_levels(np.zeros(0, data.dtype), period, offset)
    masked = _masked(data)
    result = data.map_blocks(_chunk_levels, _checks.real_number(period, "period"),
                             _checks.real_number(offset, "offset"), masked, dtype=np.uint8,
                             meta=_meta(data.ndim, np.uint8, masked))
    return _wrapped(result, template)


def _chunk_hue(block: np.ndarray, min_saturation: Optional[int], threads: int,
               masked: bool) -> np.ndarray:
    from .levels import hue
    result = hue(block, min_saturation=min_saturation, threads=threads)
    return np.ma.asarray(result) if masked else result


def hue(rgb: object, min_saturation: object, threads: object) -> Any:
    from . import levels
    data, template = _unwrapped(rgb)
    if not _dask_array(data):
        if template is not None and min_saturation is not None:
            raise TypeError("rgb: a numpy-backed DataArray cannot hold the masked hue that "
                            "min_saturation makes; give rgb.chunk() for a lazy masked result "
                            "or rgb.values for a numpy.ma one")
        return _wrapped(levels.hue(data, min_saturation=min_saturation, threads=threads),
                        template, channels_dropped=True)
    # The dtype, channels, floor and threads checked now, on an array of no memory.
    levels.hue(np.zeros((0,) * (data.ndim - 1) + data.shape[-1:], data.dtype),
               min_saturation=min_saturation, threads=threads)
    masked = _masked(data) or min_saturation is not None
    # Each task needs a pixel's channels together: at most 4 chunks joined.
    whole_pixels = data.rechunk({data.ndim - 1: -1})
    result = whole_pixels.map_blocks(_chunk_hue, min_saturation, _threads(threads), masked,
                                     drop_axis=data.ndim - 1, dtype=np.uint8,
                                     meta=_meta(data.ndim - 1, np.uint8, masked))
    return _wrapped(result, template, channels_dropped=True)


def _chunk_labels(block: np.ndarray, cuts: Tuple[int, ...], threads: int) -> np.ndarray:
    from .classes import apply_classes
    return apply_classes(block, cuts, threads=threads)


def apply_classes(image: object, cuts: object, threads: object) -> Any:
    from . import classes
    data, template = _image(image)
    if not _dask_array(data):
        return _wrapped(classes.apply_classes(data, cuts, threads=threads), template)
    # The cuts and threads checked now, not in a task.
    classes.apply_classes(np.zeros(0, np.uint8), cuts, threads=threads)
    labels = data.map_blocks(_chunk_labels, tuple(int(c) for c in cuts), _threads(threads),
                             dtype=np.uint8, meta=_meta(data.ndim, np.uint8, False))
    return _wrapped(labels, template)


def threshold_classes(image: object, count: object, mask: object,
                      threads: object) -> Tuple[Optional[Tuple[int, ...]], float, Any]:
    from . import classes
    import dask.array as da
    data, template = _image(image)
    mask_data, _ = _unwrapped(mask)
    if not takes(data, mask_data):
        cuts, sigma_w, labels = classes.threshold_classes(data, count, mask_data, threads=threads)
        return cuts, sigma_w, _wrapped(labels, template)
    count = _checks.classes_argument(count)
    data = _as_dask(data)
    cuts, sigma_w = classes.threshold_classes_histogram(_counts(data, mask_data, threads), count)
    if cuts is None:
        return None, sigma_w, _wrapped(da.zeros(data.shape, chunks=data.chunks, dtype=np.uint8),
                                       template)
    return cuts, sigma_w, apply_classes(_wrapped(data, template), cuts, threads)
