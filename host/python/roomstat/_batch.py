"""Many files on a Dask cluster: dask.bag maps the analysis over the paths,
each partition returns its table rows, and the client assembles the table."""

import os

import dask.bag

from . import _analyse_file, _file_words, _frame, _rows


def _partition_rows(paths: list[str], words: list[str]) -> list[dict]:
    rows: list[dict] = []
    for path in paths:
        rows += _rows(_analyse_file(path, words))
    return rows


def run_batch(paths: list[str], client, partitions: int | None, options: dict):
    words = _file_words(**options)  # bad options fail here, before any work is sent
    if not paths:
        return _frame([])
    if client is None:
        from distributed import Client, LocalCluster

        cores = os.cpu_count() or 1
        with LocalCluster(n_workers=cores, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster) as local:
            return _run(paths, local, partitions or 4 * cores, words)
    workers = max(1, sum(client.nthreads().values()))
    return _run(paths, client, partitions or 4 * workers, words)


def _run(paths: list[str], client, partitions: int, words: list[str]):
    # A few partitions per worker thread: enough to balance uneven files,
    # few enough that scheduling stays small beside ~20 ms per response.
    bag = dask.bag.from_sequence(paths, npartitions=min(len(paths), partitions))
    rows = bag.map_partitions(_partition_rows, words)
    return _frame(client.compute(rows).result())
