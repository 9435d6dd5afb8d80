// Runs one SQL file in an in-memory DuckDB with a fixed number of threads.
// Usage: node duckdb_run.mjs THREADS FILE.sql [ENGINE_TIME_FILE]
// With ENGINE_TIME_FILE, the time of the query alone (from its start to the end of its output,
// without starting Node.js and loading the library) is written there, in microseconds.
import { readFileSync, writeFileSync } from 'node:fs';
import { performance } from 'node:perf_hooks';
import { DuckDBInstance } from '@duckdb/node-api';

const [threads, file, engineFile] = process.argv.slice(2);
if (!/^[1-9][0-9]*$/.test(threads ?? '') || !file) {
  console.error('usage: node duckdb_run.mjs THREADS FILE.sql [ENGINE_TIME_FILE]');
  process.exit(2);
}
const sql = readFileSync(file, 'utf8');
const instance = await DuckDBInstance.create(':memory:', { threads });
const connection = await instance.connect();
const start = performance.now();
await connection.run(sql);
const elapsed = performance.now() - start;
connection.closeSync();
instance.closeSync();
if (engineFile) writeFileSync(engineFile, `${Math.round(elapsed * 1000)}\n`);
