"""Many files on a Dask cluster: dask.bag maps the analysis over the paths,
each partition returns its table rows, and the client assembles the table.
A file that fails in any way is one failed row; the batch goes on."""

import os

import dask.bag

from . import _analyse_file, _frame, _fspath, _rows, python_words


def _file_rows(path: str, words: list[str], include_invalid: bool) -> list[dict]:
    try:
        return _rows(_analyse_file(_fspath(path), words), include_invalid)
    except MemoryError:
        return [{"file": path, "channel": "", "method": "", "status": "unreadable",
                 "error": "cannot be analysed: there is not enough memory for its selection", "warning": ""}]
    except Exception as error:  # noqa: BLE001 - one file's failure is that file's row
        status = "unreadable" if isinstance(error, (OSError, ValueError)) else "failed"
        return [{"file": path, "channel": "", "method": "", "status": status,
                 "error": python_words("%s: %s" % (type(error).__name__, error)), "warning": ""}]


def _partition_rows(paths: list[str], words: list[str], include_invalid: bool) -> list[dict]:
    rows: list[dict] = []
    for path in paths:
        rows += _file_rows(path, words, include_invalid)
    return rows


def run_batch(paths: list[str], client, partitions: int | None, words: list[str], include_invalid: bool):
    if not paths:
        return _frame([])
    if client is None:
        from distributed import Client, LocalCluster

        cores = os.cpu_count() or 1
        with LocalCluster(n_workers=cores, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster) as local:
            return _run(paths, local, partitions or 4 * cores, words, include_invalid)
    workers = max(1, sum(client.nthreads().values()))
    return _run(paths, client, partitions or 4 * workers, words, include_invalid)


def _run(paths: list[str], client, partitions: int, words: list[str], include_invalid: bool):
    # A few partitions per worker thread: enough to balance uneven files,
    # few enough that scheduling stays small beside ~20 ms per response.
    bag = dask.bag.from_sequence(paths, npartitions=min(len(paths), partitions))
    rows = bag.map_partitions(_partition_rows, words, include_invalid)
    return _frame(client.compute(rows).result())
