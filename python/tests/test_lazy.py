# Dask arrays and xarray DataArrays through every function that takes an image:
# one table of calls over {dask, dask masked, DataArray numpy, DataArray dask} x
# {2-D, 3-D, uneven chunks}, each row against the numpy call, with no task
# holding more than a few chunks and no dask array converted by numpy; then the
# threaded, process and LocalCluster schedulers, and the package without dask.
import subprocess
import sys

import numpy as np
import pytest

import circthresh

da = pytest.importorskip("dask.array", reason="needs dask (Debian: python3-dask)")
xr = pytest.importorskip("xarray", reason="needs xarray (Debian: python3-xarray)")
rioxarray = pytest.importorskip("rioxarray", reason="needs rioxarray (Debian: python3-rioxarray)")
import dask  # noqa: E402
from dask.callbacks import Callback  # noqa: E402

RNG = np.random.default_rng(23)
STACK = RNG.integers(0, 256, (3, 90, 70), dtype=np.uint8)
# A wrapped object (levels 236..255 and 0..20) on noise, so the cut is not the first tried.
STACK[:, 20:60, 10:50] = (STACK[:, 20:60, 10:50] % 41 - 20).astype(np.uint8)
LAYOUTS = {"2-D": (STACK[0], (32, 25)), "3-D": (STACK, (2, 40, 30)),
           "uneven": (STACK[1], ((7, 50, 33), (1, 60, 9)))}
KINDS = ["dask", "dask masked", "DataArray numpy", "DataArray dask"]
CALLS = {  # name: (input from levels, call); mask and cuts are fixed below
    "histogram": (None, lambda x, m: circthresh.histogram(x, m)),
    "threshold": (None, lambda x, m: circthresh.threshold(x, m)),
    "apply_threshold": (None, lambda x, m: circthresh.apply_threshold(x, 40)),
    "threshold_classes": (None, lambda x, m: circthresh.threshold_classes(x, 3, m)),
    "apply_classes": (None, lambda x, m: circthresh.apply_classes(x, (3, 60, 200))),
    "angles_to_levels": (lambda a: a * 1.40625 - 0.3, lambda x, m: circthresh.angles_to_levels(x, 360)),
    "hue": (lambda a: np.stack([a, a // 3, 255 - a], axis=-1), lambda x, m: circthresh.hue(x)),
}


def lazy(kind, array, chunks, hidden):
    """The kind's array of array, and the numpy array it stands for; hidden has
    the levels' shape (a hue's array has its channels after them, one a chunk)."""
    chunks = chunks + (1,) * (array.ndim - hidden.ndim)
    if kind == "dask masked":
        hidden = np.broadcast_to(hidden.reshape(hidden.shape + (1,) * (array.ndim - hidden.ndim)), array.shape)
        return (da.ma.masked_array(da.from_array(array, chunks), mask=da.from_array(hidden, chunks)),
                np.ma.MaskedArray(array, hidden))
    if kind == "dask":
        return da.from_array(array, chunks), array
    dims = ("band", "y", "x")[3 - hidden.ndim:] + ("c",) * (array.ndim - hidden.ndim)
    coords = {"y": 500.0 - 10 * np.arange(hidden.shape[-2]), "x": 10.0 * np.arange(hidden.shape[-1])}
    framed = xr.DataArray(array if kind == "DataArray numpy" else da.from_array(array, chunks),
                          dims=dims, coords=coords, attrs={"_FillValue": 0, "units": "level"})
    framed.name = None  # unnamed, as rioxarray opens a raster (xarray named it after the dask key)
    return framed.rio.write_crs("EPSG:32633"), array


def check_same(got, expected, given):
    if isinstance(expected, tuple):
        assert len(got) == len(expected)
        for part, wanted in zip(got, expected):
            check_same(part, wanted, given)
    elif isinstance(expected, np.ndarray) and expected.shape != (256,):
        data = given.data if isinstance(given, xr.DataArray) else given
        if isinstance(given, xr.DataArray):
            assert got.dims == given.dims[:expected.ndim] and got.attrs == {"units": "level"}
            assert got.name == given.name
            if "y" in got.dims:
                assert got.rio.crs == given.rio.crs and got.rio.transform() == given.rio.transform()
            got = got.data
        if isinstance(data, da.Array):
            assert isinstance(got, da.Array) and got.chunks == data.chunks[:expected.ndim]
            got = got.compute()
        assert got.dtype == expected.dtype and np.array_equal(np.ma.getdata(got), np.ma.getdata(expected))
        assert np.array_equal(np.ma.getmaskarray(got), np.ma.getmaskarray(expected))
    else:
        assert type(got) is type(expected) and np.array_equal(got, expected)


class FewChunksPerTask(Callback):
    """Fails a task whose result holds more than a few of the largest chunks."""

    def __init__(self, chunk_bytes):
        super().__init__()
        self.limit = 4 * chunk_bytes

    def _posttask(self, key, result, dsk, state, worker_id):
        assert getattr(result, "nbytes", 0) <= self.limit, (key, result.nbytes)


@pytest.fixture
def no_numpy_conversion(monkeypatch):
    def refuse(*_):
        raise AssertionError("a dask array was converted with numpy")
    monkeypatch.setattr(da.Array, "__array__", refuse)


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("name", CALLS)
def test_same_as_the_numpy_call(name, layout, kind, no_numpy_conversion):
    make, call = CALLS[name]
    levels, chunks = LAYOUTS[layout]
    array = make(levels) if make else levels
    given, plain = lazy(kind, array, chunks, levels % 5 == 0)
    # Masks of every kind: dask of other chunks, a numpy-backed DataArray, numpy.
    mask = levels % 7 != 0
    given_mask = {"DataArray numpy": xr.DataArray(mask), "DataArray dask": mask}.get(
        kind, da.from_array(mask, chunks=17))
    chunk_bytes = 8 * np.prod([max(c, default=1) for c in given.chunks or [[1]]])
    with FewChunksPerTask(chunk_bytes), dask.config.set(scheduler="threads"):
        check_same(call(given, given_mask), call(plain, mask), given)


def test_masked_hue_thresholds_without_the_masked_pixels():
    rgb = CALLS["hue"][0](STACK[0])
    levels = circthresh.hue(da.from_array(rgb, (30, 40, 1)), min_saturation=40)
    expected = circthresh.hue(rgb, min_saturation=40)
    assert circthresh.threshold(levels)[:2] == circthresh.threshold(expected)[:2]
    check_same(levels, expected, da.from_array(rgb[..., 0], (30, 40)))


def test_nan_angle_raises_at_compute_time():
    with pytest.raises(ValueError, match="finite"):
        circthresh.angles_to_levels(da.from_array(np.array([1.0, np.nan, 3.0]), 2), 360).compute()


def check_schedulers_agree():
    image, mask = da.from_array(STACK, (2, 33, 40)), da.from_array(STACK % 7 != 0, 50)
    t, sigma_w, binary = circthresh.threshold(image, mask)
    expected = circthresh.threshold(STACK, STACK % 7 != 0)
    assert (t, sigma_w) == expected[:2] and np.array_equal(binary.compute(), expected[2])


def test_process_scheduler():
    with dask.config.set(scheduler="processes", num_workers=2):
        check_schedulers_agree()


def test_local_cluster_of_two_processes(scratch):
    distributed = pytest.importorskip("distributed", reason="needs dask.distributed "
                                      "(Debian: python3-distributed)")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None, local_directory=scratch) as cluster:
        with distributed.Client(cluster):  # the scheduler of every compute inside
            check_schedulers_agree()


@pytest.mark.parametrize("modules", [
    "sys.modules.update(dask=None, xarray=None)",  # not installed
    # Being imported by another thread: in sys.modules, their classes not yet defined.
    "sys.modules.update({m: types.ModuleType(m) for m in ('dask', 'dask.array', 'xarray')})",
], ids=["absent", "half imported"])
def test_numpy_calls_without_dask_and_xarray(modules):
    code = ("import sys, types; %s; import numpy as np, circthresh; "
            "print(circthresh.threshold(np.uint8([[250, 5, 128, 128]]))[0]); "
            "assert not [m for m in sys.modules if m.startswith(('dask', 'xarray')) "
            "and getattr(sys.modules[m], '__file__', None)]" % modules)
    assert subprocess.run([sys.executable, "-c", code], capture_output=True, check=True).stdout == b"6\n"
